// Reader of PNML place/transition nets (ISO/IEC 15909-2, the 2009 ptnet grammar), with
// pugixml.
//
// Of a <pnml> document it reads the first <net> (any further net is ignored), whose type must
// be http://www.pnml.org/version-2009/grammar/ptnet. Pages, nested to any depth, are
// flattened in document order (nodes placed directly in the <net> are taken too). A node's id is its name (made an identifier by toIdentifier)
// and the original for messages, since ids are unique and <name> texts need not be; the <name>
// text is kept as the label. <referencePlace> and <referenceTransition> stand for the node
// their chain of refs ends at, and arcs may join them. Graphics, tool-specific data on nodes
// and unknown elements are ignored. The net's own name is its <name> text, else its id, else
// the stem of the file name.
//
// Rejected, with the line of the element at fault: malformed XML (at the parser's position),
// a root other than <pnml>, no <net>, a net type other than ptnet (high-level and coloured
// nets), high-level annotations, a place with more than one token, an arc weight other than
// 1, an arc whose type (attribute, <type> element or tool-specific data) is not normal
// (inhibitor, reset, read arcs), an arc between two places or two transitions, two arcs
// joining the same nodes in the same direction, a missing or duplicate id, a reference to an
// unknown id, to a node of the other kind or in a cycle, and a net without places or
// transitions.
#pragma once

#include <string_view>

#include "import/imported.h"

namespace zelbo::import {

// `file` names the text in errors and gives the net its name when the text has none.
ImportResult importPnml(std::string_view text, std::string_view file);

}  // namespace zelbo::import
