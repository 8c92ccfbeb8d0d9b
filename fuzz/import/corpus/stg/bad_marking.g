.inputs a
.graph
p a+
a+ a-
a- p
.marking {p=2 <a-,a+> q}
.end
