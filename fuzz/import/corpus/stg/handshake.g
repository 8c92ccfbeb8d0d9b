# A four-phase handshake with a dummy and an explicit choice place.
.model handshake
.inputs req
.outputs ack
.internal x
.dummy skip
.graph
idle req+ skip/1
req+ ack+
skip/1 ack+/2
ack+ req-
ack+/2 idle
req- ack- x~
x~ ack-
ack- idle
.capacity idle=1 <req+,ack+>=1
.marking { idle }
.end
