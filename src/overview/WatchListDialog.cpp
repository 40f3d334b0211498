#include "overview/WatchListDialog.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <ranges>
#include <set>
#include <stdexcept>

#include "overview/OverviewModels.h"
#include "standings/AuctionBids.h"
#include "standings/BidHistory.h"

namespace corv::overview {

using report::WatchRule;
using report::WatchWhen;

namespace {

bool TakesMarket(WatchWhen w) {
    return report::SubjectOf(w) == report::WatchSubject::Licence;
}
bool TakesBidder(WatchWhen w) {
    return report::SubjectOf(w) == report::WatchSubject::Bidder;
}

QString Text(const std::optional<std::string>& s) {
    return s ? QString::fromStdString(*s).trimmed() : QString();
}

std::optional<std::string> Entered(const QComboBox* box) {
    const QString text = box->currentText().trimmed();
    if (text.isEmpty()) return std::nullopt;
    return text.toStdString();
}

QComboBox* Editable(const char* name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumContentsLength(24);
    return box;
}

}  // namespace

QString RuleSentence(const WatchRule& rule) {
    QString subject = Text(rule.market);
    if (!subject.isEmpty() && !Text(rule.block).isEmpty()) subject += u' ' + Text(rule.block);
    if (subject.isEmpty()) subject = Text(rule.bidder);
    QString predicate = QString::fromUtf8(report::WatchWhenText(rule.when));
    if (rule.amount) predicate += u' ' + FormatAmount(*rule.amount);
    if (rule.percent) predicate += QStringLiteral(" %1%").arg(*rule.percent);
    return subject.isEmpty() ? predicate : subject + QStringLiteral(": ") + predicate;
}

WatchChoices ChoicesOf(const standings::BidHistory* history) {
    WatchChoices choices;
    if (!history) return choices;
    std::set<QString> markets;
    for (const standings::Licence& l : history->Licences()) {
        const QString market = QString::fromStdString(l.market).trimmed();
        if (market.isEmpty()) continue;
        markets.insert(market);
        const QString block = QString::fromStdString(l.block).trimmed();
        QStringList& blocks = choices.blocks[market];
        if (!block.isEmpty() && !blocks.contains(block)) blocks << block;
    }
    for (const QString& m : markets) choices.markets << m;
    for (QStringList& blocks : choices.blocks | std::views::values) blocks.sort();
    for (const std::string& b : history->Bidders())
        if (!b.empty()) choices.bidders << QString::fromStdString(b);
    choices.bidders.sort(Qt::CaseInsensitive);
    return choices;
}

// ---- one rule ----

WatchRuleEditor::WatchRuleEditor(const WatchRule& rule, const WatchChoices& choices, QWidget* parent)
    : QDialog(parent), choices_(choices) {
    setObjectName("WatchRuleEditor");
    setWindowTitle("Watch Rule");
    cboWhen = new QComboBox(this);
    cboWhen->setObjectName("cboWhen");
    for (WatchWhen w : report::kWatchWhens)
        cboWhen->addItem(QString::fromUtf8(report::WatchWhenText(w)), static_cast<int>(w));
    cboMarket = Editable("cboMarket", this);
    cboMarket->addItems(choices.markets);
    cboBlock = Editable("cboBlock", this);
    cboBlock->lineEdit()->setPlaceholderText("every block");
    cboBidder = Editable("cboBidder", this);
    cboBidder->addItems(choices.bidders);
    numAmount = new QDoubleSpinBox(this);
    numAmount->setObjectName("numAmount");
    numAmount->setDecimals(0);
    numAmount->setRange(1, 1e13);
    numAmount->setGroupSeparatorShown(true);
    numPercent = new QDoubleSpinBox(this);
    numPercent->setObjectName("numPercent");
    numPercent->setDecimals(1);
    numPercent->setRange(0.1, 10000);
    numPercent->setSuffix(" %");
    lblMissing = new QLabel(this);
    lblMissing->setObjectName("lblMissing");
    lblMissing->hide();

    auto* form = new QFormLayout;
    const auto row = [&](const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        form->addRow(label, field);
        labels_[field] = label;
    };
    row("&When:", cboWhen);
    row("&Market:", cboMarket);
    row("B&lock:", cboBlock);
    row("Bi&dder:", cboBidder);
    row("&Amount:", numAmount);
    row("&Percent:", numPercent);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lblMissing);
    layout->addWidget(buttons);

    cboWhen->setCurrentIndex(cboWhen->findData(static_cast<int>(rule.when)));
    cboMarket->setCurrentText(Text(rule.market));
    MarketChanged();
    cboBlock->setCurrentText(Text(rule.block));
    cboBidder->setCurrentText(Text(rule.bidder));
    if (rule.amount) numAmount->setValue(*rule.amount);
    numPercent->setValue(rule.percent.value_or(10));
    connect(cboWhen, &QComboBox::currentIndexChanged, this, [this] { KindChanged(); });
    connect(cboMarket, &QComboBox::currentTextChanged, this, [this] { MarketChanged(); });
    KindChanged();
}

void WatchRuleEditor::MarketChanged() {
    const QString block = cboBlock->currentText();
    cboBlock->clear();
    if (auto it = choices_.blocks.find(cboMarket->currentText().trimmed()); it != choices_.blocks.end())
        cboBlock->addItems(it->second);
    cboBlock->setCurrentText(block);
}

void WatchRuleEditor::KindChanged() {
    const auto when = static_cast<WatchWhen>(cboWhen->currentData().toInt());
    const auto show = [this](QWidget* field, bool on) {
        field->setVisible(on);
        labels_[field]->setVisible(on);
    };
    show(cboMarket, TakesMarket(when));
    show(cboBlock, TakesMarket(when));
    show(cboBidder, TakesBidder(when));
    show(numAmount, report::NeedsAmount(when));
    show(numPercent, report::NeedsPercent(when));
    lblMissing->hide();
    adjustSize();
}

WatchRule WatchRuleEditor::Rule() const {
    WatchRule rule;
    rule.when = static_cast<WatchWhen>(cboWhen->currentData().toInt());
    if (TakesMarket(rule.when)) {
        rule.market = Entered(cboMarket);
        rule.block = Entered(cboBlock);
    }
    if (TakesBidder(rule.when)) rule.bidder = Entered(cboBidder);
    if (report::NeedsAmount(rule.when)) rule.amount = numAmount->value();
    if (report::NeedsPercent(rule.when)) rule.percent = numPercent->value();
    return rule;
}

void WatchRuleEditor::accept() {
    const WatchRule rule = Rule();
    QString missing;
    if (TakesMarket(rule.when) && !rule.market) missing = "Name the market to watch.";
    if (TakesBidder(rule.when) && !rule.bidder) missing = "Name the bidder to watch.";
    if (!missing.isEmpty()) {
        lblMissing->setText(missing);
        lblMissing->show();
        (TakesMarket(rule.when) ? cboMarket : cboBidder)->setFocus();
        return;
    }
    QDialog::accept();
}

// ---- the list ----

WatchListDialog::WatchListDialog(const std::string& auctionPath,
                                 std::shared_ptr<const standings::BidHistory> history, QWidget* parent)
    : QDialog(parent), path_(report::WatchListPath(auctionPath)), history_(std::move(history)) {
    setObjectName("WatchListDialog");
    setWindowTitle("Watch List");
    choices_ = ChoicesOf(history_.get());

    lblMessage = new QLabel(this);
    lblMessage->setObjectName("lblMessage");
    lblMessage->setWordWrap(true);
    lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblMessage->hide();
    auto* caption = new QLabel("&Rules, weighed after each imported round:", this);
    lstRules = new QListWidget(this);
    lstRules->setObjectName("lstRules");
    caption->setBuddy(lstRules);
    lstRules->setMinimumWidth(lstRules->fontMetrics().horizontalAdvance(QString(56, u'M')) / 2 + 40);
    cmdAdd = new QPushButton("&Add\u2026", this);
    cmdAdd->setObjectName("cmdAdd");
    cmdEdit = new QPushButton("&Edit\u2026", this);
    cmdEdit->setObjectName("cmdEdit");
    cmdRemove = new QPushButton("Re&move", this);
    cmdRemove->setObjectName("cmdRemove");
    for (QPushButton* b : {cmdAdd, cmdEdit, cmdRemove}) b->setAutoDefault(false);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* side = new QVBoxLayout;
    side->addWidget(cmdAdd);
    side->addWidget(cmdEdit);
    side->addWidget(cmdRemove);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(lstRules, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage);
    layout->addWidget(caption);
    layout->addLayout(middle, 1);
    layout->addWidget(buttons);

    connect(cmdAdd, &QPushButton::clicked, this, [this] {
        WatchRule first;
        first.when = report::kWatchWhens[0];
        AddRule(first);
    });
    const auto editCurrent = [this] {
        const int i = lstRules->currentRow();
        if (i >= 0) Edit(i, list_.rules[static_cast<std::size_t>(i)]);
    };
    connect(cmdEdit, &QPushButton::clicked, this, editCurrent);
    connect(lstRules, &QListWidget::itemDoubleClicked, this, editCurrent);
    const auto remove = [this] {
        const int i = lstRules->currentRow();
        if (i < 0 || !usable_) return;
        list_.rules.erase(list_.rules.begin() + i);
        ShowRules(std::min(i, static_cast<int>(list_.rules.size()) - 1));
    };
    connect(cmdRemove, &QPushButton::clicked, this, remove);
    auto* del = new QShortcut(QKeySequence::Delete, lstRules, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, remove);
    connect(lstRules, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });

    try {
        if (std::optional<report::WatchList> read = report::ReadWatchList(path_)) list_ = std::move(*read);
    } catch (const report::WatchListError& e) {
        usable_ = false;
        lblMessage->setText(QString::fromStdString(e.Describe(path_)) +
                            "\nMend the file, then open the list again; until then no rule is weighed.");
    } catch (const std::exception& e) {
        usable_ = false;
        lblMessage->setText(QString::fromStdString(e.what()));
    }
    lblMessage->setVisible(!usable_);
    ShowRules(list_.rules.empty() ? -1 : 0);
    if (usable_)
        lstRules->setFocus();
    else
        buttons->button(QDialogButtonBox::Cancel)->setFocus();
}

void WatchListDialog::ShowRules(int current) {
    lstRules->clear();
    for (const WatchRule& rule : list_.rules) lstRules->addItem(RuleSentence(rule));
    lstRules->setCurrentRow(current);
    UpdateButtons();
}

void WatchListDialog::UpdateButtons() {
    const bool chosen = lstRules->currentRow() >= 0;
    lstRules->setEnabled(usable_);
    cmdAdd->setEnabled(usable_);
    cmdEdit->setEnabled(usable_ && chosen);
    cmdRemove->setEnabled(usable_ && chosen);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(usable_);
}

void WatchListDialog::AddRule(const WatchRule& rule) {
    Edit(-1, rule);
}

void WatchListDialog::Edit(int index, const WatchRule& rule) {
    if (!usable_) return;
    auto* editor = new WatchRuleEditor(rule, choices_, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &QDialog::accepted, this, [this, editor, index] {
        if (index < 0) {
            list_.rules.push_back(editor->Rule());
            ShowRules(static_cast<int>(list_.rules.size()) - 1);
        } else {
            list_.rules[static_cast<std::size_t>(index)] = editor->Rule();
            ShowRules(index);
        }
        lstRules->setFocus();
    });
    editor->open();
    editor->cboWhen->setFocus();
}

void WatchListDialog::accept() {
    // A file that could not be read is the user's to mend: it is never written over.
    if (!usable_) return;
    try {
        report::WriteWatchList(path_, list_);
    } catch (const std::exception& e) {
        lblMessage->setText(QString::fromStdString(e.what()));
        lblMessage->show();
        return;
    }
    emit Saved();
    QDialog::accept();
}

WatchListDialog* OpenWatchList(const std::string& auctionPath, const standings::AuctionBids& bids,
                               QWidget* parent, std::optional<WatchRule> newRule) {
    auto* dialog = new WatchListDialog(auctionPath, bids.Current().history, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    if (newRule) dialog->AddRule(*newRule);
    return dialog;
}

}  // namespace corv::overview
