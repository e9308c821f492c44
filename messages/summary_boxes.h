// The boxes at a run's end that sum it up, from the run's tally (Tally).
#pragma once

// The end of a run that kept going past failed files: one warning box with
// the count and the first failures (their lists only without FileDone).
void ShowKeepGoingBox();

// The end of a check: one information box with the counts, the first
// damaged documents and the files that could not be read.
void ShowCheckBox();

// The end of a run that succeeded, when the settings ask for a report.
void ShowReportBox();
