#include "cli/pending_outputs.hpp"

#include <cerrno>
#include <cstdio>

#include "cli/platform.hpp"
#include "cli/report.hpp"

namespace mthc::cli {

namespace {

// A waiting report's lines are printed within about this time of its work.
constexpr std::chrono::seconds k_longest_wait{1};

}  // namespace

bool add_report(pending_outputs& pending, file_report&& report) {
  if (pending.waiting.empty() && report.staged < 0) {
    print_report(report);
    return false;
  }
  const auto now = std::chrono::steady_clock::now();
  if (pending.waiting.empty()) pending.since = now;
  pending.waiting.push_back(std::move(report));
  return temporaries_full() || now - pending.since >= k_longest_wait;
}

bool settle_outputs(pending_outputs& pending, const output_rules& rules) {
  if (pending.waiting.empty()) return true;
  const bool synced = sync_temporaries();
  const int sync_error = errno;
  bool all = true;
  for (file_report& report : pending.waiting) {
    if (report.staged >= 0) {
      failure failed;
      if (synced) {
        failed = place_staged_output(report.staged, report.staged_path.c_str(), rules);
      } else {
        // Its data may not be on the disk: it does not replace anything.
        remove_temporary(report.staged);
        errno = sync_error;
        failed = system_failure("failed writing", report.staged_path.c_str());
      }
      report.staged = -1;
      if (failed.failed()) {
        report.lines.push_back({said_line::stream::error, failed.text.data()});
        all = false;
      } else if (!report.placed_line.empty()) {
        report.lines.push_back({said_line::stream::out, report.placed_line});
      }
    }
    print_report(report);
  }
  pending.waiting.clear();
  return all;
}

void print_report(const file_report& report) noexcept {
  for (const said_line& line : report.lines) {
    switch (line.where) {
      case said_line::stream::out:
        std::fputs(line.text.c_str(), stdout);
        break;
      case said_line::stream::warning:
        report_warning(line.text);
        break;
      case said_line::stream::error:
        report_error(line.text);
        break;
    }
  }
}

}  // namespace mthc::cli
