.name instances
.inputs a b
.outputs c
.graph
a+/0 c+/1 b+/01
c+/1 a-/2
b+ a-/2
a-/2 c-
c- b-
b- a+
.marking {<b-,a+/0 > <a+ , c+/1>=0
 }
