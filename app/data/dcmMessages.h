// The DICOM library's log, message and file-read callbacks, and the
// notification ids its messages become. The message callback runs on the
// library's threads and only posts: every observer runs on the UI thread.
#pragma once

#include <cstdint>

// Notification ids posted for the library's messages.
constexpr int NOTIFY_NODE_REPLY = 2003;
constexpr int NOTIFY_RETRIEVE_PROGRESS = 2004;
constexpr int NOTIFY_RETRIEVE_STATE = 2005;
constexpr int NOTIFY_RETRIEVE_DONE = 2006;
constexpr int NOTIFY_RETRIEVE_FAILED = 2007;
constexpr int NOTIFY_SDK_MESSAGE_8 = 2008;
constexpr int NOTIFY_FIND_RESULT = 2009;
constexpr int NOTIFY_FIND_FAILED = 2010;
constexpr int NOTIFY_SEND_PROGRESS = 2013;
constexpr int NOTIFY_SEND_DONE = 2014;
constexpr int NOTIFY_SEND_FAILED = 2015;
constexpr int NOTIFY_DICOM_FILE_STORED = 2017;
constexpr int NOTIFY_IMPORT_PATH = 2026;

// Writes the library's text to the engine log.
void dcmLogCallback(const char* text);

// Posts the notification of a library message (types 0-11; others are
// dropped). Types 0-2 carry the task id in the payload's task value and, for
// 0, the percentage in its float value; type 3 hands the library's
// dcmSDK::DCM_MESSAGE over as the payload's user data (its observer deletes
// it); the others carry a copy of the text. Type 8 is posted as
// NOTIFY_IMPORT_PATH and then NOTIFY_SDK_MESSAGE_8 with the same payload.
void dcmMsgCallback(uint32_t type, void* data);

// The file's content in a new buffer (released by the caller with
// delete[]), or null; len receives the content length.
unsigned char* dcmReadFileCallback(const char* path, uint32_t* len, bool binary);
