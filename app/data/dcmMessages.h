// The DICOM library's log, message and file-read callbacks, and the
// notification ids its messages become. The message callback runs on the
// library's threads and only posts: every observer runs on the UI thread.
#pragma once

#include <cstdint>

#include "toolkit/foundation/NSNotifyIds.h"

// Writes the library's text to the engine log.
void dcmLogCallback(const char* text);

// Posts the notification of a library message (types 0-11; others are
// dropped). Types 0-2 carry the task id in the payload's task value and, for
// 0, the percentage in its float value; type 3 hands the library's
// dcmSDK::DCM_MESSAGE over in a dicomRecordData payload, which owns it (an
// observer that keeps it takes it out, see dbPayloads.h); the others carry a copy of the text. Type 8 is posted as
// NOTIFY_IMPORT_PATH and then NOTIFY_SDK_MESSAGE_8 with the same payload.
void dcmMsgCallback(uint32_t type, void* data);

// The file's content in a new buffer (released by the caller with
// delete[]), or null; len receives the content length.
unsigned char* dcmReadFileCallback(const char* path, uint32_t* len, bool binary);
