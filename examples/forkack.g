# A four-phase controller: on a request it raises two outputs at once and acknowledges once
# both are up; when the request falls, both fall before the acknowledgment does.
.model forkack
.inputs req
.outputs a b ack
.graph
req+ a+ b+
a+ ack+
b+ ack+
ack+ req-
req- a- b-
a- ack-
b- ack-
ack- req+
.marking { <ack-,req+> }
.end
