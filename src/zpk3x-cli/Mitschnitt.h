#pragma once
// --trace: every frame sent and every answer received, with its time, on
// standard error as it happens.

// From now on, for every port of this run.
void MitschnittEinschalten();
// Shows what arrived but was not yet shown (an answer cut off before its end).
void MitschnittAbschliessen();

// With the trace on: what the device still sends after a failed command (the
// rest of a garbled or doubled answer) is read and shown, and every line of the
// trace is out, before the error message. Nothing without the trace.
void MitschnittNachlesen(int port);
