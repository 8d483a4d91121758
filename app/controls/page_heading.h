// The heading of a page: bold, a little larger than the page's text, in the artwork's bar
// colour, so that every page of the main window opens the same way.
#pragma once

class QLabel;

namespace sv {

void StylePageHeading(QLabel* heading);

}  // namespace sv
