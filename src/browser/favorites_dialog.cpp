#include "browser/favorites_dialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "browser/favorites.h"
#include "core/language.h"
#include "player/dialog_port.h"
#include "ui/presentation.h"

namespace vantrel::browser {

FavoritesDialog::FavoritesDialog(const std::vector<std::string>& folders, player::DialogPort* dialogs,
                                 const core::Languages* languages, const std::string& startFolder, QWidget* parent)
    : ui::StyledDialog(parent) {
  const auto text = [languages](std::string_view key, std::string_view fallback) {
    return QString::fromStdString(languages ? languages->LangText(key, fallback) : std::string(fallback));
  };
  setObjectName(QStringLiteral("frmFavorites"));
  setWindowTitle(text("frmFavorites/Caption", "Favorite Folders"));
  auto* layout = new QHBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("FavList"));
  for (const std::string& folder : folders) list_->addItem(QString::fromStdString(folder));
  layout->addWidget(list_, 1);
  auto* buttons = new QVBoxLayout();
  const auto button = [&](const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QString::fromLatin1(name));
    buttons->addWidget(b);
    return b;
  };
  QPushButton* plus = button("cpPlus", text("frmFavorites/cpPlus", "Add..."));
  QPushButton* minus = button("cbMinus", text("frmFavorites/cbMinus", "Remove"));
  QPushButton* up = button("cbUp", text("frmFavorites/cbUp", "Move Up"));
  QPushButton* down = button("cbDown", text("frmFavorites/cbDown", "Move Down"));
  buttons->addStretch(1);
  QPushButton* ok = button("cbOK", text("Shared/OK", "OK"));
  QPushButton* cancel = button("cbCancel", text("Shared/Cancel", "Cancel"));
  QPushButton* help = button("cbHelp", text("Shared/Help", "Help"));
  ok->setDefault(true);
  layout->addLayout(buttons);

  connect(plus, &QPushButton::clicked, this, [this, dialogs, text, startFolder] {
    if (!dialogs) return;
    const std::string folder = dialogs->ChooseFolder(
        text("BROWSEMEDIA/strAddFav", "Choose a folder to add to Favorites:").toStdString(), startFolder);
    std::vector<std::string> current = Folders();
    if (AddFavorite(current, folder)) list_->addItem(QString::fromStdString(current.back()));
  });
  connect(minus, &QPushButton::clicked, this, [this] { delete list_->takeItem(list_->currentRow()); });
  connect(up, &QPushButton::clicked, this, [this] { Move(-1); });
  connect(down, &QPushButton::clicked, this, [this] { Move(1); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ui::OpenHelp("favorite-folders"); });
  // The band ends above OK and Cancel, which stand at the foot of the button column.
  SetVisual(ok);
}

void FavoritesDialog::Move(int delta) {
  const int row = list_->currentRow();
  const int target = row + delta;
  if (row < 0 || target < 0 || target >= list_->count()) return;
  QListWidgetItem* item = list_->takeItem(row);
  list_->insertItem(target, item);
  list_->setCurrentRow(target);
}

std::vector<std::string> FavoritesDialog::Folders() const {
  std::vector<std::string> folders;
  for (int i = 0; i < list_->count(); ++i) folders.push_back(list_->item(i)->text().toStdString());
  return folders;
}

}  // namespace vantrel::browser
