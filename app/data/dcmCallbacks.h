// Callbacks the application hands to the DICOM library at launch.
#pragma once

// Writes width × height pixels of 8-bit RGB (three bytes a pixel, rows top to
// bottom) as a PNG file at path. True when the file was written.
bool dcmSavePngCallback(int width, int height, const unsigned char* pixels, const char* path);

// Converts a text of the platform's legacy code page (chosen by the user's
// language: GB18030 for Chinese, Shift_JIS for Japanese, CP949 for Korean,
// CP1251/CP1250/CP1254/CP1256 for Cyrillic, Central European, Turkish and
// Arabic languages, CP1252 otherwise) to UTF-8. Fills the whole buffer with
// zero bytes, then copies at most length − 1 bytes of the result, never
// cutting a character. Bytes that are invalid in the code page become U+FFFD.
void dcmGb2Utf8Callback(const char* source, char* buffer, int length);
