// A file for element lists: private elements, a sequence with an item and
// texts holding multi-byte UTF-8 characters.
#pragma once

#include <string>

namespace dcmfixtures {

// The small CT file of writeTagged (UTF-8 character set, ISO_IR 192) with:
// a study description, series description and patient name holding
// multi-byte characters; a Referenced Image Sequence of one item that also
// carries a private element and a code sequence nested two levels deeper
// (elements three sequence levels down); the private block "FW TAG SAMPLE" in group 0009
// (a text, a number and 16 bytes of OB) and a second private group 0029.
void writeTagSample(const std::string& path);

// The multi-byte study description written by writeTagSample.
extern const char* const kTagSampleStudyDescription;

}  // namespace dcmfixtures
