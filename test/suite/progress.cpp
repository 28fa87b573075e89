#include "progress.h"

#include <string>

#include "clean_text.h"
#include "pose_change.h"

namespace zor::test::suite {

std::string CaseLine(const CaseResult& result)
{
    char time[32];
    std::snprintf(time, sizeof time, " (%.0f ms)", result.milliseconds);
    std::string line = std::string(VerdictText(result.verdict)) + " " + PrintableText(result.files.name) + time;
    const std::string worst = result.verdict == Verdict::kFailed ? WorstValueText(result) : "";
    if (!result.reason.empty()) {
        line += ": " + PrintableText(result.reason);
    } else if (!worst.empty()) {
        line += ": " + worst;
    }
    if (result.changed) {
        line += ", changed: " + WorstChangeText(result);
    }
    return line + "\n";
}

Progress::Progress(std::FILE* out, std::FILE* terminal, const std::vector<CaseResult>& results)
    : m_out(out),
      m_terminal(terminal),
      m_results(results),
      m_done(results.size(), false),
      m_start(std::chrono::steady_clock::now())
{
}

Progress::~Progress()
{
    if (m_terminal != nullptr) {
        std::fputs("\r\033[K", m_terminal);
        std::fflush(m_terminal);
    }
}

void Progress::Done(size_t index)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_done[index] = true;
    m_tally.Add(m_results[index].verdict);
    if (m_terminal != nullptr) {
        std::fputs("\r\033[K", m_terminal);
        std::fflush(m_terminal);
    }
    for (; m_printed < m_done.size() && m_done[m_printed]; ++m_printed) {
        std::fputs(CaseLine(m_results[m_printed]).c_str(), m_out);
    }
    std::fflush(m_out);
    UpdateTerminal();
}

void Progress::UpdateTerminal()
{
    if (m_terminal == nullptr) {
        return;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const size_t finished = m_tally.Total();
    const double left = elapsed / static_cast<double>(finished) * static_cast<double>(m_done.size() - finished);
    std::fprintf(m_terminal, "[%zu/%zu] %zu not passed, about %.0f s left", finished, m_done.size(),
                 m_tally.NotPassed(), left);
    std::fflush(m_terminal);
}

}  // namespace zor::test::suite
