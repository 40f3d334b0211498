#include "shell/frmHelp.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

namespace corv {

namespace {

QString PlainText(const QString& html) {
    return QTextDocumentFragment::fromHtml(html).toPlainText().simplified();
}

}  // namespace

std::vector<frmHelp::Section> HelpSections(const QString& html) {
    static const QRegularExpression heading(
        QString::fromLatin1(R"re(<h([23])\b[^>]*\bid\s*=\s*"([^"]+)"[^>]*>(.*?)</h\1>)re"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    std::vector<frmHelp::Section> sections;
    std::vector<qsizetype> bodyStart;
    auto it = heading.globalMatch(html);
    std::vector<qsizetype> headingStart;
    while (it.hasNext()) {
        const auto m = it.next();
        frmHelp::Section s;
        s.anchor = m.captured(2);
        s.title = PlainText(m.captured(3));
        if (m.captured(1) == "3") s.title = QStringLiteral("    ") + s.title;
        sections.push_back(s);
        headingStart.push_back(m.capturedStart(0));
        bodyStart.push_back(m.capturedEnd(0));
    }
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const qsizetype end = i + 1 < sections.size() ? headingStart[i + 1] : html.size();
        sections[i].text = PlainText(html.mid(bodyStart[i], end - bodyStart[i]));
    }
    return sections;
}

bool SectionMatches(const frmHelp::Section& section, const QString& query) {
    const QStringList words = query.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    for (const QString& w : words) {
        if (!section.title.contains(w, Qt::CaseInsensitive) && !section.text.contains(w, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

frmHelp::frmHelp(QWidget* parent) : QDialog(parent) {
    setObjectName("frmHelp");
    setWindowTitle("Corvidel Help");
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* searchLabel = new QLabel("&Find a word:", this);
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName("txtSearch");
    txtSearch->setClearButtonEnabled(true);
    searchLabel->setBuddy(txtSearch);
    auto* topicsLabel = new QLabel("&Topics:", this);
    lstTopics = new QListWidget(this);
    lstTopics->setObjectName("lstTopics");
    topicsLabel->setBuddy(lstTopics);
    txtHelp = new QTextBrowser(this);
    txtHelp->setObjectName("txtHelp");
    txtHelp->setOpenExternalLinks(true);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(searchLabel);
    leftLayout->addWidget(txtSearch);
    leftLayout->addWidget(topicsLabel);
    leftLayout->addWidget(lstTopics, 1);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(txtHelp);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 520});

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(splitter);
    resize(780, 560);

    connect(txtSearch, &QLineEdit::textChanged, this, &frmHelp::Filter);
    connect(txtSearch, &QLineEdit::returnPressed, this, [this] {
        if (lstTopics->count() > 0) OpenTopic(0);
    });
    connect(lstTopics, &QListWidget::currentRowChanged, this, &frmHelp::OpenTopic);
    connect(lstTopics, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OpenTopic(lstTopics->row(item)); });
}

bool frmHelp::LoadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QString html = QString::fromUtf8(f.readAll());
    txtHelp->setHtml(html);
    sections_ = HelpSections(html);
    Filter(QString());
    // Room for the longest title, so none is cut off; a search only ever lists fewer.
    lstTopics->setMinimumWidth(lstTopics->sizeHintForColumn(0) + 2 * lstTopics->frameWidth() +
                               lstTopics->verticalScrollBar()->sizeHint().width());
    Filter(txtSearch->text());
    return true;
}

void frmHelp::ShowContents() {
    txtSearch->clear();
    txtHelp->moveCursor(QTextCursor::Start);
    show();
    raise();
    activateWindow();
    lstTopics->setFocus();
}

void frmHelp::ShowSearch(const QString& keyword) {
    txtSearch->setText(keyword);
    show();
    raise();
    activateWindow();
    txtSearch->setFocus();
    txtSearch->selectAll();
}

QStringList frmHelp::ListedTitles() const {
    QStringList titles;
    for (int i = 0; i < lstTopics->count(); ++i) titles << lstTopics->item(i)->text().trimmed();
    return titles;
}

void frmHelp::Filter(const QString& words) {
    QSignalBlocker block(lstTopics);
    lstTopics->clear();
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        if (!SectionMatches(sections_[i], words)) continue;
        auto* item = new QListWidgetItem(sections_[i].title, lstTopics);
        item->setData(Qt::UserRole, static_cast<int>(i));
    }
}

void frmHelp::OpenTopic(int row) {
    if (row < 0 || row >= lstTopics->count()) return;
    const int index = lstTopics->item(row)->data(Qt::UserRole).toInt();
    txtHelp->scrollToAnchor(sections_[static_cast<std::size_t>(index)].anchor);
    // A search shows where its first word occurs in the topic.
    const QString first = txtSearch->text().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts).value(0);
    if (!first.isEmpty()) {
        QTextCursor c = txtHelp->document()->find(sections_[static_cast<std::size_t>(index)].title.trimmed());
        if (!c.isNull()) {
            txtHelp->setTextCursor(c);
            if (txtHelp->find(first)) txtHelp->ensureCursorVisible();
        }
    }
}

}  // namespace corv
