#include "validator/text_utils.h"

namespace zor {
namespace test {

namespace detail {

std::string_view TrimView(std::string_view text, std::string_view set)
{
    const std::size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(set);
    return text.substr(first, last - first + 1);
}

std::string_view StripCommentView(std::string_view line, std::string_view blanks)
{
    return TrimView(line.substr(0, line.find('#')), blanks);
}

}  // namespace detail

std::string GetFileExtType(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string Trimming(const std::string& text, const std::string& set)
{
    return std::string(detail::TrimView(text, set));
}

std::string RemoveComments(const std::string& line, const std::string& blanks)
{
    return std::string(detail::StripCommentView(line, blanks));
}

}  // namespace test
}  // namespace zor
