.inputs a
.graph
a+ b+
b+ a+
.marking {<b+,a+>}
