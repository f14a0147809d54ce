#include "ui/querypanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <cmath>

#include "ui/icons.h"
#include "ui/qttext.h"

namespace varnook {
namespace {

const char* const kArchives[] = {"complete", "standard", "adult", "jobs", "for sale"};
const char* const kLanguages[] = {"English", "Chinese",   "Danish",     "Dutch",   "Finnish",
                                  "French",  "German",    "Hungarian",  "Italian", "Japanese",
                                  "Korean",  "Norwegian", "Portuguese", "Polish",  "Russian",
                                  "Spanish", "Swedish",   "Vietnamese"};

// A relative date whose day is today: one second before the moment of sending. Its whole
// part would otherwise be 0 or more, which reads as "not set" or as a day in 1899.
constexpr DayDate kRelativeToday = -1.0 / 86400.0;

QLineEdit* makeEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setClearButtonEnabled(true);
  return edit;
}

QCheckBox* makeCheck(const char* name, const QString& caption, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

// A date picker that Tab leaves, as every other control (the day, month and year are
// chosen with the arrow keys, the mouse or the calendar).
class DatePicker final : public QDateTimeEdit {
 public:
  using QDateTimeEdit::QDateTimeEdit;

 protected:
  bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

QDateTimeEdit* makePicker(const char* name, QWidget* parent) {
  auto* picker = new DatePicker(parent);
  picker->setObjectName(QString::fromLatin1(name));
  picker->setDisplayFormat(QStringLiteral(" dd MMM yyyy"));
  picker->setCalendarPopup(true);
  picker->setMinimumDate(QDate(1899, 12, 30));
  picker->setMinimumWidth(picker->fontMetrics().horizontalAdvance(QStringLiteral(" 00 MMM 0000 ")) +
                          36);
  return picker;
}

QLabel* makeLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

QueryPanel::QueryPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("QueryPanel"));
  edKeywords = makeEdit("edKeywords", this);
  edSubject = makeEdit("edSubject", this);
  edAuthor = makeEdit("edAuthor", this);
  edGroups = makeEdit("edGroups", this);
  edKeywords->setContextMenuPolicy(Qt::CustomContextMenu);  // the window's popKW

  chkAND = makeCheck("chkAND", QStringLiteral("A&ND"), this);
  chkAND->setToolTip(QStringLiteral("Articles must contain each of the keywords"));
  chkAND->setChecked(true);

  chkFrom = makeCheck("chkFrom", QStringLiteral("S&ince:"), this);
  dtpFrom = makePicker("dtpFrom", this);
  chkFromRel = makeCheck("chkFromRel", QStringLiteral("Rel"), this);
  chkFromRel->setToolTip(QStringLiteral("\"From\" date is relative"));
  chkTo = makeCheck("chkTo", QStringLiteral("&Till:"), this);
  dtpTo = makePicker("dtpTo", this);
  chkToRel = makeCheck("chkToRel", QStringLiteral("Rel"), this);
  chkToRel->setToolTip(QStringLiteral("\"To\" date is relative"));
  // Names for a screen reader where the caption alone says too little.
  dtpFrom->setAccessibleName(QStringLiteral("Since date"));
  dtpTo->setAccessibleName(QStringLiteral("Till date"));
  chkFromRel->setAccessibleName(chkFromRel->toolTip());
  chkToRel->setAccessibleName(chkToRel->toolTip());

  cbxArchive = new QComboBox(this);
  cbxArchive->setObjectName(QStringLiteral("cbxArchive"));
  for (const char* item : kArchives) cbxArchive->addItem(QString::fromLatin1(item));
  cbxLanguage = new QComboBox(this);
  cbxLanguage->setObjectName(QStringLiteral("cbxLanguage"));
  for (const char* item : kLanguages) cbxLanguage->addItem(QString::fromLatin1(item));

  btnSubmit = new QPushButton(QStringLiteral("&Send"), this);
  btnSubmit->setObjectName(QStringLiteral("btnSubmit"));
  btnSubmit->setDefault(true);
  btnSubmit->setEnabled(false);
  btnWebSearch = new QToolButton(this);
  btnWebSearch->setObjectName(QStringLiteral("btnWebSearch"));
  btnWebSearch->setAutoRaise(true);
  btnWebSearch->setIcon(commandIcon(CommandIcon::WebSearch));
  btnWebSearch->setToolTip(QStringLiteral("Search on the Web"));
  btnWebSearch->setAccessibleName(btnWebSearch->toolTip());

  // Layout: the four edits one above the other, AND / Send / web search beside the
  // keywords, the date rows and the two lists below.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(4);
  grid->addWidget(makeLabel(QStringLiteral("&Keywords:"), edKeywords, this), 0, 0);
  grid->addWidget(edKeywords, 0, 1, 1, 3);
  auto* sendRow = new QHBoxLayout;
  sendRow->addWidget(chkAND);
  sendRow->addWidget(btnSubmit);
  sendRow->addWidget(btnWebSearch);
  grid->addLayout(sendRow, 0, 4);
  grid->addWidget(makeLabel(QStringLiteral("S&ubject:"), edSubject, this), 1, 0);
  grid->addWidget(edSubject, 1, 1, 1, 3);
  grid->addWidget(makeLabel(QStringLiteral("&Author(s):"), edAuthor, this), 2, 0);
  grid->addWidget(edAuthor, 2, 1, 1, 3);
  grid->addWidget(makeLabel(QStringLiteral("News&Group(s):"), edGroups, this), 3, 0);
  grid->addWidget(edGroups, 3, 1, 1, 3);

  auto* dates = new QHBoxLayout;
  dates->addWidget(chkFrom);
  dates->addWidget(dtpFrom);
  dates->addWidget(chkFromRel);
  dates->addSpacing(16);
  dates->addWidget(chkTo);
  dates->addWidget(dtpTo);
  dates->addWidget(chkToRel);
  dates->addStretch(1);
  grid->addLayout(dates, 4, 1, 1, 4);

  auto* lists = new QHBoxLayout;
  lists->addWidget(cbxArchive, 1);
  lists->addSpacing(16);
  auto* languageLabel = makeLabel(QStringLiteral("&Language:"), cbxLanguage, this);
  lists->addWidget(languageLabel);
  lists->addWidget(cbxLanguage, 1);
  lists->addStretch(1);
  grid->addWidget(makeLabel(QStringLiteral("A&rchive:"), cbxArchive, this), 5, 0);
  grid->addLayout(lists, 5, 1, 1, 4);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(6, 1);

  // Tab order: keywords, AND, Send, subject, authors, groups, the two date rows, archive,
  // language; the pickers follow their boxes and the web search comes last.
  QWidget* order[] = {edKeywords, chkAND,   btnSubmit,  edSubject,   edAuthor,
                      edGroups,   chkFrom,  dtpFrom,    chkFromRel,  chkTo,
                      dtpTo,      chkToRel, cbxArchive, cbxLanguage, btnWebSearch};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(edKeywords, &QLineEdit::textChanged, this, &QueryPanel::edKeywordsChange);
  for (QLineEdit* edit : {edSubject, edAuthor, edGroups})
    connect(edit, &QLineEdit::textChanged, this, &QueryPanel::updateSendEnabled);
  for (QLineEdit* edit : {edKeywords, edSubject, edAuthor, edGroups}) {
    connect(edit, &QLineEdit::returnPressed, this, [this] {
      if (btnSubmit->isEnabled()) emit submitRequested();
    });
  }
  connect(chkFrom, &QCheckBox::clicked, this,
          [this] { dateRowClicked(chkFrom, chkFromRel, dtpFrom); });
  connect(chkTo, &QCheckBox::clicked, this, [this] { dateRowClicked(chkTo, chkToRel, dtpTo); });
  fillPanel(nullptr);
}

bool QueryPanel::panelHasQuery() const {
  return !edKeywords->text().isEmpty() || !edSubject->text().isEmpty() ||
         !edAuthor->text().isEmpty() || !edGroups->text().isEmpty();
}

void QueryPanel::edKeywordsChange() {
  // In the service's extended syntax the keyword text carries every field itself.
  const bool plain = !edKeywords->text().contains(QLatin1Char('~'));
  edSubject->setEnabled(plain);
  edAuthor->setEnabled(plain);
  edGroups->setEnabled(plain);
  updateSendEnabled();
}

void QueryPanel::updateSendEnabled() {
  btnSubmit->setEnabled(panelHasQuery());
}

void QueryPanel::dateRowClicked(QCheckBox* check, QCheckBox* relative, QDateTimeEdit* picker) {
  const bool on = check->isChecked();
  picker->setEnabled(on);
  relative->setEnabled(on);
  if (on) picker->setFocus(Qt::OtherFocusReason);
}

DayDate QueryPanel::readPanelDate(const QCheckBox& check, const QCheckBox& relative,
                                  const QDateTimeEdit& picker) const {
  if (!check.isChecked()) return 0;
  DayDate value = fromQDateTime(picker.dateTime());
  if (relative.isChecked()) {
    value -= std::trunc(now());
    if (value >= kRelativeToday) value = kRelativeToday;
  } else if (value == 0) {
    value = kRelativeToday;  // cannot happen with the picker's range; 0 would mean "not set"
  }
  return value;
}

void QueryPanel::writePanelDate(QCheckBox& check, QCheckBox& relative, QDateTimeEdit& picker,
                                DayDate value) const {
  const DayDate current = now();
  // The latest selectable date is tomorrow; a stored date beyond it stays as it is, so
  // sending the query again sends what was stored.
  const QDateTime latest = toQDateTime(current + 1);
  picker.setMaximumDateTime(value > current + 1 ? toQDateTime(value) : latest);
  if (value == 0) {
    check.setChecked(false);
    picker.setDateTime(toQDateTime(current));
    relative.setChecked(false);
    picker.setEnabled(false);
    relative.setEnabled(false);
    return;
  }
  if (value < 0) {
    picker.setDateTime(toQDateTime(current + value));
    relative.setChecked(true);
  } else {
    picker.setDateTime(toQDateTime(value));
    relative.setChecked(false);
  }
  check.setChecked(true);
  picker.setEnabled(true);
  relative.setEnabled(true);
}

void QueryPanel::fillPanel(const QueryFields* query) {
  if (query == nullptr) {
    edKeywords->clear();
    edSubject->clear();
    edAuthor->clear();
    edGroups->clear();
    chkAND->setChecked(true);
    writePanelDate(*chkFrom, *chkFromRel, *dtpFrom, 0);
    writePanelDate(*chkTo, *chkToRel, *dtpTo, 0);
    cbxArchive->setCurrentIndex(-1);
    cbxLanguage->setCurrentIndex(-1);
    return;
  }
  edKeywords->setText(decodeBytes(query->keywords));
  edSubject->setText(decodeBytes(query->subject));
  edAuthor->setText(decodeBytes(query->author));
  edGroups->setText(decodeBytes(query->forum));
  chkAND->setChecked(query->matchAll);
  edKeywordsChange();
  writePanelDate(*chkFrom, *chkFromRel, *dtpFrom, query->fromDate);
  writePanelDate(*chkTo, *chkToRel, *dtpTo, query->toDate);
  const int archive = query->archive - 1;
  cbxArchive->setCurrentIndex(archive >= 0 && archive < cbxArchive->count() ? archive : -1);
  cbxLanguage->setCurrentIndex(cbxLanguage->findText(decodeBytes(query->language),
                                                     Qt::MatchFixedString));  // any case
}

void QueryPanel::readQuery(QueryFields& query) const {
  query.keywords = encodeText(edKeywords->text());
  query.subject = encodeText(edSubject->text());
  query.author = encodeText(edAuthor->text());
  query.forum = encodeText(edGroups->text());
  query.matchAll = chkAND->isChecked();
  query.fromDate = readPanelDate(*chkFrom, *chkFromRel, *dtpFrom);
  query.toDate = readPanelDate(*chkTo, *chkToRel, *dtpTo);
  query.archive = cbxArchive->currentIndex() + 1;
  query.language = cbxLanguage->currentIndex() >= 0 ? encodeText(cbxLanguage->currentText()) : "";
}

QLineEdit* QueryPanel::editFor(Field field) const {
  switch (field) {
    case Field::Keywords:
      return edKeywords;
    case Field::Authors:
      return edAuthor;
    case Field::Subject:
      return edSubject;
    case Field::Groups:
      return edGroups;
  }
  return edKeywords;
}

}  // namespace varnook
