#pragma once
// --trace: every frame sent and every answer received, with its time, on
// standard error as it happens.

// From now on, for every port of this run.
void MitschnittEinschalten();
// Shows what arrived but was not yet shown (an answer cut off before its end).
void MitschnittAbschliessen();
