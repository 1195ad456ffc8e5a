#pragma once
// Error catalogue: German and English messages for every error class, and the
// error popups.
#include "common/ErrorCode.h"

// Message for `code` in the catalogue language, with a pending one-shot text
// appended (and consumed). The returned buffer is overwritten by the next call.
const char* OLQ_Fehlermeldung(ErrorCode code);
// 2 selects English, every other value German.
void OLQ_Fehlersprache(int sprache);
// The catalogue language as set (for the popups' titles).
int OLQ_FehlerspracheLesen();
// `deutsch` or `englisch` by the catalogue language, so that the details every
// front end adds to a message are in the message's language.
const char* OLQ_Text(const char* deutsch, const char* englisch);
// One-shot text appended to the next message looked up (at most 299 bytes kept).
void OLQ_Fehleruserstring(const char* text);

// Modal popups with number and message (class 6 is never shown). Need the window.
void OLQ_Fehlerpopup(ErrorCode code);
void OLQ_Fehlerpopup2(ErrorCode code, const char* titel);
