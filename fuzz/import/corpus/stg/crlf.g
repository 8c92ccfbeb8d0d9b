.model crlf
.inputs a
.graph
a+ a-
a- a+
.marking {<a-,a+>}
.end
