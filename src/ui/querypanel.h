#pragma once

#include <QWidget>
#include <functional>

#include "base/daydate.h"
#include "collection/queryfields.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace varnook {

// The query panel: the fields of a search query. It keeps Send enabled exactly while one
// of the four edits holds text, and the subject, author and group edits disabled while the
// keywords use the service's extended syntax ("~"); everything else (what Send does) is the
// window's. The controls are public: the window wires their commands and menus.
class QueryPanel final : public QWidget {
  Q_OBJECT

 public:
  // The field a refined search changes.
  enum class Field { Keywords = 0, Authors = 1, Subject = 2, Groups = 3 };

  explicit QueryPanel(QWidget* parent = nullptr);

  // True when one of the four edits holds text (blanks count).
  bool panelHasQuery() const;
  // Shows a query, or resets the panel (nullptr). Neither switches pages nor moves focus.
  void fillPanel(const QueryFields* query);
  // The panel's query: the four edits as they are (also when disabled), the AND box, the
  // two date rows, the archive (index + 1, 0 for none) and the language (empty for none).
  void readQuery(QueryFields& query) const;
  QLineEdit* editFor(Field field) const;

  // One date row: 0 when unchecked; else the picker's date and time, made relative to
  // today when "Rel" is checked (negative for past days).
  DayDate readPanelDate(const QCheckBox& check, const QCheckBox& relative,
                        const QDateTimeEdit& picker) const;
  void writePanelDate(QCheckBox& check, QCheckBox& relative, QDateTimeEdit& picker,
                      DayDate value) const;

  // Where "now" comes from (tests set a fixed day).
  void setClock(std::function<DayDate()> clock) { clock_ = std::move(clock); }
  DayDate now() const { return clock_(); }

  QLineEdit* edKeywords = nullptr;
  QLineEdit* edSubject = nullptr;
  QLineEdit* edAuthor = nullptr;
  QLineEdit* edGroups = nullptr;
  QCheckBox* chkAND = nullptr;
  QCheckBox* chkFrom = nullptr;
  QDateTimeEdit* dtpFrom = nullptr;
  QCheckBox* chkFromRel = nullptr;
  QCheckBox* chkTo = nullptr;
  QDateTimeEdit* dtpTo = nullptr;
  QCheckBox* chkToRel = nullptr;
  QComboBox* cbxArchive = nullptr;
  QComboBox* cbxLanguage = nullptr;
  QPushButton* btnSubmit = nullptr;
  QToolButton* btnWebSearch = nullptr;

 signals:
  // Enter in one of the edits, while Send is enabled.
  void submitRequested();

 private:
  void edKeywordsChange();
  void updateSendEnabled();
  void dateRowClicked(QCheckBox* check, QCheckBox* relative, QDateTimeEdit* picker);

  std::function<DayDate()> clock_ = nowLocal;
};

}  // namespace varnook
