// The archive's search dialog "アーカイブ検索": the words to find, the ghost
// and channel choosers filled from the archive, an optional period, and the
// number of matching messages, counted on a worker while the user types.
// The dialog only edits a TArchiveSearchRequest; the search is the core's.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <string>
#include <vector>

#include "app/ArchiveUi.h"
#include "app/qt/QtDateFormats.h"
#include "app/qt/QtUi.h"

namespace hollowmere::qt {

class TArchiveSearchForm : public QDialog {
 public:
  TArchiveSearchForm(QWidget* owner, const TArchiveSearchRequest& request, const std::vector<std::string>& ghosts,
                     const std::vector<std::string>& channels, const TQtDateFormats& formats);

  // The request as the controls show it.
  TArchiveSearchRequest Request() const;
  void ShowCount(const TArchiveCount& count);

  QLineEdit* QueryEdit;
  QComboBox* GhostCombo;
  QComboBox* ChannelCombo;
  QCheckBox* PeriodCheck;
  QDateEdit* FromPicker;
  QDateEdit* ToPicker;
  QLabel* CountLabel;
  QDialogButtonBox* Buttons;
};

// IArchiveSearchDialog through TArchiveSearchForm.
class TQtArchiveSearchDialog : public IArchiveSearchDialog, public TOwnedByWindow {
 public:
  explicit TQtArchiveSearchDialog(const TQtDateFormats& formats) : formats_(formats) {}
  bool Execute(TArchiveSearchRequest& request, const std::vector<std::string>& ghosts,
               const std::vector<std::string>& channels, const TArchiveCountAsk& ask) override;
  void ShowCount(const TArchiveCount& count) override;

 private:
  const TQtDateFormats& formats_;
  TArchiveSearchForm* open_ = nullptr;
};

}  // namespace hollowmere::qt
