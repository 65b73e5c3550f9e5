// frmDecompiler, the Resource Extractor: the five choices, the destination (created on
// request), the busy view with Stop, and the summary with Show Files.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <string>

#include "media/extract_resources.h"
#include "media/media_record.h"
#include "media/movie_facts.h"
#include "ui/visual_style.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vantrel::core {
class ExecutionLog;
class OptionsStore;
}  // namespace vantrel::core
namespace vantrel::player {
class DialogPort;
}

namespace vantrel::browser {

class DecompilerDialog : public ui::StyledDialog {
  Q_OBJECT

 public:
  // record: the movie, identified with full decompression (a plain movie at MoviePath).
  DecompilerDialog(const media::MediaRecord& record, core::OptionsStore& options, player::DialogPort* dialogs,
                   media::TextLookup lookup, core::ExecutionLog* log, QWidget* parent = nullptr);
  ~DecompilerDialog() override;

  void SetDestination(const std::string& folder);
  // Runs the extraction with the choices as they stand; false when it did not start
  // (no folder and none created). The summary text is LastMessage().
  bool Extract();
  const std::string& LastMessage() const { return lastMessage_; }
  const media::ExtractCounters& Counters() const { return counters_; }

  std::function<void(const std::string& folder)> onShowFiles;

 private:
  QString Text(std::string_view key, std::string_view fallback) const;
  void SetBusy(bool busy);
  void StoreChoices();

  media::MediaRecord record_;
  core::OptionsStore& options_;
  player::DialogPort* dialogs_;
  media::TextLookup lookup_;
  core::ExecutionLog* log_;
  std::array<QCheckBox*, media::kExtractCategories> boxes_{};
  QLabel* destLabel_;
  QLineEdit* dest_;
  QPushButton* browse_;
  QProgressBar* progress_;
  QPushButton* go_;
  QPushButton* cancel_;
  QPushButton* done_;
  std::atomic<bool> cancelFlag_{false};
  media::ExtractCounters counters_{};
  std::string lastMessage_;
};

}  // namespace vantrel::browser
