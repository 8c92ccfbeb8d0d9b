// Helpers on the model's lists.
#pragma once

#include "net/net.h"

namespace zelbo {

// 1 when some input place of the transition is initially marked.
// Formerly IsLowPriority.
int isLowPriority(const Trans* trans);
// 1 when every output transition of the place has exactly one input place.
// Formerly IsFreeChoice.
int isFreeChoice(const Place* place);

// The first node holding exactly that record, or none.
Place* const* findPlaceOnList(const PlaceList& list, const Place* place);
const TransNode* findTransOnList(const TransList& list, const Trans* trans);

}  // namespace zelbo
