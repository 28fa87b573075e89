#pragma once

// Names and messages from outside (case folders, paths, exception texts)
// made safe for where the suite writes them.

#include <string>

namespace zor::test::suite {

// `text` as well-formed UTF-8: every byte that does not start a valid,
// shortest-form sequence of a character other than a surrogate, U+FFFE or
// U+FFFF becomes U+FFFD (the replacement character); a valid sequence stays.
std::string ValidUtf8(const std::string& text);

// `text` for one line of a terminal or a log: control characters (C0, DEL
// and C1) become "\n", "\r", "\t" or "\xNN" (the code point in hex), a
// backslash becomes "\\", bytes that are not UTF-8 become "\xNN"; the rest
// stays. The result holds no byte below 0x20.
std::string PrintableText(const std::string& text);

// `text` for an HTML attribute or element: valid UTF-8 (ValidUtf8) with
// &, <, >, " and ' as character references.
std::string HtmlText(const std::string& text);

}  // namespace zor::test::suite
