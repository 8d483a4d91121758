// The progress bar drawing of every job window: a bar filled from the left in the given
// colour on white, the percentage centred on it, the digits over the bar inverted.
#pragma once

#include "jobs/core/job_types.h"

#include <QColor>

namespace sv {

class PictureBox;

// Clears the box to white, centres "<percent>%" on it and fills the left `percent` of its
// width with `colour` so that the digits over the bar show inverted. Each call redraws the
// whole box; the screen shows it at the next pass of the event loop. `invert` is kept for
// callers' sake: without it only the text is drawn.
void DrawProgress(PictureBox* pic, float percent, jobs::Rgb colour, bool invert = true);

inline QColor ToQColor(jobs::Rgb c) { return QColor(c.r, c.g, c.b); }

}  // namespace sv
