// Every notification id of the program, in one place. Ids 1001-1007 belong to
// the toolkit's overlays and favourites, 2000-2036 to application events,
// 9001-9116 to viewer commands and viewer state (the same numbers serve as
// command codes in direct calls on the viewers). Add new ids here only; each
// id has exactly one name.
//
// How the viewer ids travel. Every post names a sender, an object and a
// queue; the object is the channel, and an observer never receives its own
// posts.
// - Render-window channel: actors, image nodes, overlay nodes, ROI actors and
//   the interaction tool post and observe with their render window as the
//   object. Render windows and the viewers built on them observe their own
//   ids with themselves as the object.
// - Relay target: each viewer has one, the viewer cell or multi-view that
//   holds it. What the viewer's own tool and actors raise and what concerns
//   the other views is re-posted there, with the viewer as sender, and not
//   executed; the same id coming back from the relay target is executed.
// - Cells and the multi-view observe their ids with themselves as the
//   object. A cell passes ids from inside up to its owner and ids from its
//   owner down to its viewers; the multi-view sends each id to the target
//   cell (the sender, else the focused cell) and to the cells linked with it.
// - Broadcast channel (no object): 9097, 9098, 9099, 9101, 9104, 9110 and
//   9113 are posted there, and every render window observes 9100, 9102 and
//   9103 there.
// The binding ids 9075, 9076, 9079-9083 and 9116 name overlay texts and are
// never posted. 9004, 9069, 9090, 9107 and 9108 are unassigned; 9105 belongs
// to the viewer screen and 9112 to the series cache.
#pragma once

// --- toolkit overlays --------------------------------------------------------
constexpr int NOTIFY_ACTIVITY_PROGRESS = 1001;  // busy-overlay progress, intValue = percent
constexpr int NOTIFY_ACTIVITY_MESSAGE = 1002;   // busy-overlay message, text

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

// --- viewer commands, texts and bindings not listed elsewhere ---------------
constexpr int NOTIFY_VIEW_RECENTRE = 9003;         // back to the middle slice or the focal point
constexpr int NOTIFY_SET_RESLICE_MODE = 9006;      // intValue = interpolation mode
constexpr int NOTIFY_SLAB_STEP = 9007;             // floatValue = slab thickness step, mm
constexpr int NOTIFY_VIEW_TYPE_OBLIQUE = 9009;     // view kind 4; nothing further
constexpr int NOTIFY_VIEW_CMD_9013 = 9013;         // passed to a 2-D cell, no action
constexpr int NOTIFY_VIEW_TYPE_MIP = 9015;         // the target cell shows a maximum-intensity projection
constexpr int NOTIFY_VIEW_TYPE_ORIGINAL = 9016;    // view kind 0: the slices as acquired
constexpr int NOTIFY_WINDOW_DEFAULT_FUSED = 9025;  // 9022 passed to cells fused with the target
constexpr int NOTIFY_TOOL_PROBE = 9039;            // tool mode "locate"
// Overlay text bindings, filled from the 9084 keys named beside them.
constexpr int NOTIFY_OVERLAY_STUDY_ID = 9075;      // "studyID"
constexpr int NOTIFY_OVERLAY_SERIES_ID = 9076;     // "seriesID"
constexpr int NOTIFY_OVERLAY_HOSPITAL = 9079;      // "hospital"
constexpr int NOTIFY_OVERLAY_SERIES_TIME = 9080;   // "seriesTime"
constexpr int NOTIFY_OVERLAY_PATIENT = 9081;       // "patient"
constexpr int NOTIFY_OVERLAY_PATIENT_INFO = 9082;  // "patientInfo"
constexpr int NOTIFY_OVERLAY_IMAGE_DESC = 9083;    // "imageDesc"
// JSON "studyID", "seriesID", "hospital", "seriesTime", "patient",
// "patientInfo", "imageDesc"; serial queue, object = the viewer.
constexpr int NOTIFY_DICOM_OVERLAY_INFO = 9084;
constexpr int NOTIFY_FOCAL_APPLY = 9086;           // the 9085 payload: a viewer of the cell takes the point
constexpr int NOTIFY_SHOW_ACTIVE_MARKER = 9088;    // show the active-view marker
constexpr int NOTIFY_ROI_CHANGED = 9092;           // a measurement or its label changed; object = the render window
constexpr int NOTIFY_HIDE_SLICE_CONTROLS = 9106;   // the target cell hides its slice controls

// --- further ids, by range (payloads are described where they are posted) ---
// Toolkit overlays, captures, favourites and the update centre.
constexpr int NOTIFY_ACTIVITY_BUTTON = 1003;
constexpr int NOTIFY_CAPTURE_SAVED = 1004;
constexpr int NOTIFY_APP_UPDATE_DOWNLOAD = 1005;
constexpr int NOTIFY_PLATFORM_OPEN = 1006;
constexpr int NOTIFY_FAVOURITE_ADDED = 1007;
// Application events.
constexpr int NOTIFY_SERIES_LOADED = 2000;
constexpr int NOTIFY_SERIES_RECORD_ADDED = 2001;
constexpr int NOTIFY_PATIENT_ROW_UPDATE = 2002;
constexpr int NOTIFY_FIND_STUDY_RECORD = 2011;
constexpr int NOTIFY_FIND_SERIES_RECORD = 2012;
constexpr int NOTIFY_SEND_TASK_REMOVE = 2016;
constexpr int NOTIFY_SERIES_DELETED = 2018;
constexpr int NOTIFY_SHARE_ZIP_DONE = 2019;
constexpr int NOTIFY_PEER_FOUND = 2020;
constexpr int NOTIFY_THUMBNAILS_READY = 2021;
constexpr int NOTIFY_IMPORT_UNZIPPED = 2025;
constexpr int NOTIFY_NODE_COUNT = 2027;
constexpr int NOTIFY_APP_UPDATE_URL = 2028;
constexpr int NOTIFY_SHOW_DICOM_MENU = 2029;
constexpr int NOTIFY_QUICK_FAVOURITE = 2030;
constexpr int NOTIFY_CHECK_NEW_VERSION = 2032;
constexpr int NOTIFY_THUMBNAIL_READY = 2033;
constexpr int NOTIFY_LOGIN_STATE = 2034;
constexpr int NOTIFY_PATIENT_DELETED = 2036;
// Viewer commands and viewer state.
constexpr int NOTIFY_SET_SLICE_INDEX = 9005;
constexpr int NOTIFY_ROTATE_3D = 9008;
constexpr int NOTIFY_VIEW_TYPE_AXIAL = 9010;
constexpr int NOTIFY_VIEW_TYPE_SAGITTAL = 9011;
constexpr int NOTIFY_VIEW_TYPE_CORONAL = 9012;
constexpr int NOTIFY_VIEW_TYPE_VR = 9014;
constexpr int NOTIFY_LAYOUT_1X1 = 9018;
constexpr int NOTIFY_LAYOUT_1X2 = 9019;
constexpr int NOTIFY_LAYOUT_2X1 = 9020;
constexpr int NOTIFY_LAYOUT_2X2 = 9021;
constexpr int NOTIFY_WINDOW_DEFAULT = 9022;
constexpr int NOTIFY_WINDOW_INPUT = 9023;
constexpr int NOTIFY_WINDOW_APPLY = 9024;
constexpr int NOTIFY_OPACITY_LINEAR = 9026;
constexpr int NOTIFY_OPACITY_LOG = 9027;
constexpr int NOTIFY_OPACITY_LOG_INVERSE = 9028;
constexpr int NOTIFY_WINDOW_PRESET = 9029;
constexpr int NOTIFY_CLUT_SELECT = 9030;
constexpr int NOTIFY_CAPTURE_WHOLE_SCREEN = 9031;
constexpr int NOTIFY_CAPTURE_ALL_IMAGES = 9032;
constexpr int NOTIFY_CAPTURE_CURRENT_VIEW = 9033;
constexpr int NOTIFY_TOOL_SELECT = 9034;
constexpr int NOTIFY_TOOL_WINDOW_BY_TOUCH = 9035;
constexpr int NOTIFY_TOOL_ZOOM = 9036;
constexpr int NOTIFY_TOOL_MOVE = 9037;
constexpr int NOTIFY_TOOL_ROTATE = 9038;
constexpr int NOTIFY_ROI_LINE = 9040;
constexpr int NOTIFY_ROI_POINT = 9041;
constexpr int NOTIFY_ROI_ANGLE = 9042;
constexpr int NOTIFY_ROI_CIRCLE = 9043;
constexpr int NOTIFY_ROI_POLYGON = 9044;
constexpr int NOTIFY_ROI_REMOVE = 9045;
constexpr int NOTIFY_PLAY_TOGGLE = 9053;  // start or stop playing the target cell
constexpr int NOTIFY_PLAY_PRIOR = 9054;   // slower while playing, else one step back
constexpr int NOTIFY_PLAY_NEXT = 9055;    // faster while playing, else one step on
constexpr int NOTIFY_PLAY_STATE = 9056;
constexpr int NOTIFY_VR_ORIENTATION = 9057;
constexpr int NOTIFY_DICOM_INFO_HIDE = 9058;
constexpr int NOTIFY_DICOM_INFO_SHOW = 9059;
constexpr int NOTIFY_DICOM_META_INFO = 9060;
constexpr int NOTIFY_FOCUS_REQUEST = 9096;  // a gesture started in a window: it becomes the focused view
constexpr int NOTIFY_QUICK_TOOL_SHOW = 9097;
constexpr int NOTIFY_VIEW_GEOMETRY = 9098;
constexpr int NOTIFY_VIEWER_CLEANUP = 9099;
constexpr int NOTIFY_CELL_MAXIMISE = 9100;
constexpr int NOTIFY_MAXIMISE_STATE = 9101;
constexpr int NOTIFY_CELL_LINK = 9102;
constexpr int NOTIFY_CELL_CAPTURE = 9103;
constexpr int NOTIFY_FAVOURITE_SAVE = 9104;
constexpr int NOTIFY_FAVOURITE_SAVED = 9105;
constexpr int NOTIFY_TOOLS_RELAYOUT = 9113;
constexpr int NOTIFY_PROTOCOL_SELECT = 9114;
constexpr int NOTIFY_PHASE_SELECT = 9115;
// Render windows, image actors, image nodes and the colour lookup table.
constexpr int NOTIFY_SLICE_NEXT = 9001;
constexpr int NOTIFY_SLICE_PREVIOUS = 9002;
constexpr int NOTIFY_VIEW_SYNC = 9017;
constexpr int NOTIFY_CINE_TOGGLE = 9046;
constexpr int NOTIFY_CINE_STATE = 9047;
constexpr int NOTIFY_CINE_PRIOR = 9048;
constexpr int NOTIFY_CINE_NEXT = 9049;
constexpr int NOTIFY_CINE_VISIBLE_9050 = 9050;
constexpr int NOTIFY_CINE_VISIBLE_9051 = 9051;
constexpr int NOTIFY_CINE_VISIBLE_9052 = 9052;
constexpr int NOTIFY_DRAG_PAN = 9061;
constexpr int NOTIFY_ZOOM_STEP = 9062;
constexpr int NOTIFY_PINCH_ZOOM = 9063;
constexpr int NOTIFY_DRAG_WINDOW = 9064;
constexpr int NOTIFY_SYNC_PAN = 9065;
constexpr int NOTIFY_SYNC_ZOOM = 9066;
constexpr int NOTIFY_OVERLAY_EDGE_LETTERS = 9070;
constexpr int NOTIFY_OVERLAY_WINDOW = 9072;
constexpr int NOTIFY_OVERLAY_SLICE_INDEX = 9073;
constexpr int NOTIFY_OVERLAY_SLICE_POSITION = 9077;
constexpr int NOTIFY_OVERLAY_SLAB_THICKNESS = 9078;
constexpr int NOTIFY_CAMERA_CHANGED = 9089;
constexpr int NOTIFY_WINDOW_DRAWN = 9091;
constexpr int NOTIFY_SLICE_CHANGED = 9093;
constexpr int NOTIFY_ORIENTATION_CHANGED = 9094;
constexpr int NOTIFY_ROI_INFO = 9095;
constexpr int NOTIFY_OVERLAY_LOAD_PROGRESS = 9111;
// Touch gestures and the image interaction tool.
constexpr int NOTIFY_SYNC_WINDOW = 9067;
constexpr int NOTIFY_SYNC_RECENTRE = 9068;
constexpr int NOTIFY_PROBE_POINT = 9071;
constexpr int NOTIFY_FOCAL_POINT = 9085;

// Reference lines and overlay of the render windows.
constexpr int NOTIFY_CROSS_POSITION = 9087;
constexpr int NOTIFY_OVERLAY_VIEW_NAME = 9074;
constexpr int NOTIFY_OVERLAY_STATIC = 9116;

