#pragma once

#include <vector>

#include "letterforge/layout/render_item.h"

namespace letterforge {

// True when a reads before b: on one row (vertical centres less than 8 px apart) the left
// edge further left first, otherwise the higher bottom edge first. Ties are false both ways.
// Not transitive across rows whose centres chain within 8 px.
bool readsBefore(const RenderItem& a, const RenderItem& b);

// Sorts in place by readsBefore, stably: an insertion sort under 64 items, from 64 on a merge
// sort of insertion-sorted runs. The procedure fixes the result where readsBefore is not
// transitive, so the input order matters there.
void sortReadingOrder(std::vector<RenderItem>& items);

}  // namespace letterforge
