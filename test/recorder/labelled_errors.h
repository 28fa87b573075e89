#pragma once

// The network library and the image decoders write their own lines to
// standard error ("No face found in the image.", "libpng error: ..."),
// which do not say which case they are about. While a LabelledErrors
// lives, standard error goes to a temporary file; when it goes, each line
// written meanwhile reaches standard error after the label.

#include <string>

namespace zor::test::recorder {

class LabelledErrors {
public:
    // `label` starts each line, as "record_facepose: cases/a: ". When no
    // temporary file can be made, the lines go out as they are written.
    explicit LabelledErrors(std::string label);
    ~LabelledErrors();

    LabelledErrors(const LabelledErrors&) = delete;
    LabelledErrors& operator=(const LabelledErrors&) = delete;

private:
    std::string m_label;
    int m_saved = -1;    // the real standard error
    int m_capture = -1;  // the temporary file in its place
};

}  // namespace zor::test::recorder
