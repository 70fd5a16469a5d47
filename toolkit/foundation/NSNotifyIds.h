// Every notification id of the program, in one place. Ids 1001-1007 belong to
// the toolkit's overlays and favourites, 2000-2036 to application events,
// 9001-9116 to viewer commands and viewer state (the same numbers serve as
// command codes in direct calls on the viewers). Add new ids here only.
#pragma once

// --- toolkit overlays --------------------------------------------------------
constexpr int NOTIFY_ACTIVITY_PROGRESS = 1001;  // busy-overlay progress, intValue = percent

// --- application events ------------------------------------------------------
// The DICOM library's messages (app/data/dcmMessages).
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
// Posted (broadcast, serial kind, no payload) when an image refuses or fails
// to allocate a buffer.
constexpr int NOTIFY_OUT_OF_MEMORY = 2035;

// --- viewer state ------------------------------------------------------------
constexpr int NOTIFY_SLICE_ARRIVED = 9109;     // to a requester, indexValue = slice key
constexpr int NOTIFY_LOADING_PROGRESS = 9110;  // indexValue = hash of identifier, floatValue = fraction
constexpr int NOTIFY_4D_LOADED = 9112;         // every slice of a series stored
