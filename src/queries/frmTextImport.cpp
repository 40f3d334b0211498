#include "queries/frmTextImport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>

#include "dialogue/AuctionCommands.h"
#include "engine/CorvError.h"
#include "platform/ErrorBox.h"
#include "store/Auction.h"

namespace corv {

namespace {

constexpr const char* kTitle = "Import Table from Text File";
constexpr const char* kTextFileFilter =
    "Text files (*.csv;*.tsv;*.txt)|*.csv;*.tsv;*.txt|All files (*.*)|*.*";
constexpr int kProgressSteps = 1000;
constexpr double kScanShare = 0.3;  // of the progress bar: the reading before the writing
constexpr std::size_t kLinesListed = 20;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString HeaderText(const store::TextColumn& c) {
    return Q(c.name) + QStringLiteral("\n(") + QString::fromLatin1(store::ColumnTypeName(c.type)) +
           QLatin1Char(')');
}

std::string LineList(const std::vector<int>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size() && i < kLinesListed; ++i)
        out += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > kLinesListed) out += " and " + std::to_string(lines.size() - kLinesListed) + " more";
    return out;
}

}  // namespace

frmTextImport::frmTextImport(store::Auction& auction, const std::string& path, QWidget* parent)
    : QDialog(parent), auction_(auction), path_(path), bytes_(store::LoadTextFile(path)) {
    setWindowTitle(QString::fromLatin1(kTitle));
    const store::TextFormat detected = store::DetectFormat(bytes_);

    txtTableName = new QLineEdit(Q(std::filesystem::path(path).stem().string()), this);
    cboDelimiter = new QComboBox(this);
    cboDelimiter->addItem(QStringLiteral("Comma (,)"), QChar(','));
    cboDelimiter->addItem(QStringLiteral("Semicolon (;)"), QChar(';'));
    cboDelimiter->addItem(QStringLiteral("Tab"), QChar('\t'));
    cboDelimiter->setCurrentIndex(cboDelimiter->findData(QChar(detected.delimiter)));
    cboEncoding = new QComboBox(this);
    for (auto e : {store::TextEncoding::Utf8, store::TextEncoding::Utf8Bom, store::TextEncoding::Windows1252})
        cboEncoding->addItem(QString::fromLatin1(store::EncodingName(e)), static_cast<int>(e));
    cboEncoding->setCurrentIndex(cboEncoding->findData(static_cast<int>(detected.encoding)));
    chkHeader = new QCheckBox(QStringLiteral("First row holds the column &names"), this);
    chkHeader->setChecked(detected.header);

    grdColumns = new QTableWidget(0, 2, this);
    grdColumns->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type")});
    grdColumns->horizontalHeader()->setStretchLastSection(true);
    const int rowHeight = fontMetrics().height() + 8;
    grdColumns->verticalHeader()->setDefaultSectionSize(rowHeight);
    grdColumns->setColumnWidth(0, 260);
    // Typing or F2 edits a name; arriving on the list does not.
    grdColumns->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    grdColumns->setTabKeyNavigation(false);
    grdPreview = new QTableWidget(this);
    grdPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdPreview->setTabKeyNavigation(false);
    grdPreview->verticalHeader()->setDefaultSectionSize(rowHeight);
    lblStatus = new QLabel(this);
    lblStatus->setWordWrap(true);

    auto* form = new QFormLayout;
    // The name alone: a long folder would widen the dialog; the whole path is in the tool tip.
    auto* file = new QLabel(Q(std::filesystem::path(path).filename().string()), this);
    file->setToolTip(Q(path));
    form->addRow(QStringLiteral("File:"), file);
    form->addRow(QStringLiteral("&Table name:"), txtTableName);
    form->addRow(QStringLiteral("&Delimiter:"), cboDelimiter);
    form->addRow(QStringLiteral("&Encoding:"), cboEncoding);
    form->addRow(QString(), chkHeader);

    auto* columnsLabel = new QLabel(QStringLiteral("Co&lumns (a name can be edited):"), this);
    columnsLabel->setBuddy(grdColumns);
    auto* previewLabel = new QLabel(QStringLiteral("&Preview:"), this);
    previewLabel->setBuddy(grdPreview);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("&Import"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &frmTextImport::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmTextImport::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(columnsLabel);
    layout->addWidget(grdColumns, 2);
    layout->addWidget(previewLabel);
    layout->addWidget(grdPreview, 3);
    layout->addWidget(lblStatus);
    layout->addWidget(buttons);

    connect(cboDelimiter, &QComboBox::currentIndexChanged, this, &frmTextImport::Reread);
    connect(cboEncoding, &QComboBox::currentIndexChanged, this, &frmTextImport::Reread);
    connect(chkHeader, &QCheckBox::toggled, this, &frmTextImport::Reread);
    connect(grdColumns, &QTableWidget::itemChanged, this, &frmTextImport::ShowColumnNames);
    Reread();
    setMinimumSize(600, 480);
    resize(760, 580);
}

store::TextFormat frmTextImport::Format() const {
    store::TextFormat f;
    f.delimiter = cboDelimiter->currentData().toChar().toLatin1();
    f.encoding = static_cast<store::TextEncoding>(cboEncoding->currentData().toInt());
    f.header = chkHeader->isChecked();
    return f;
}

void frmTextImport::Reread() {
    const store::TextFormat format = Format();
    if (text_.empty() || decodedAs_ != format.encoding) {
        text_ = store::DecodeText(bytes_, format.encoding);
        decodedAs_ = format.encoding;
    }
    preview_ = store::ScanText(text_, format, store::kPreviewRows + 1);

    const QSignalBlocker block(grdColumns);
    grdColumns->setRowCount(static_cast<int>(preview_.columns.size()));
    for (int c = 0; c < grdColumns->rowCount(); ++c) {
        const store::TextColumn& column = preview_.columns[c];
        grdColumns->setItem(c, 0, new QTableWidgetItem(Q(column.name)));
        auto* type = new QTableWidgetItem(QString::fromLatin1(store::ColumnTypeName(column.type)));
        type->setFlags(type->flags() & ~Qt::ItemIsEditable);
        grdColumns->setItem(c, 1, type);
    }
    grdPreview->clear();
    grdPreview->setColumnCount(static_cast<int>(preview_.columns.size()));
    grdPreview->setRowCount(static_cast<int>(preview_.preview.size()));
    for (int r = 0; r < grdPreview->rowCount(); ++r)
        for (int c = 0; c < grdPreview->columnCount(); ++c)
            grdPreview->setItem(r, c, new QTableWidgetItem(Q(preview_.preview[r][c])));
    ShowColumnNames();
    grdPreview->resizeColumnsToContents();

    if (preview_.empty)
        lblStatus->setText(QStringLiteral("The file is empty."));
    else
        lblStatus->setText(QStringLiteral("The first %1 rows. Types are guessed from them; the import reads "
                                          "every row and widens a type where a later row needs it.")
                               .arg(preview_.preview.size()));
}

void frmTextImport::ShowColumnNames() {
    for (int c = 0; c < grdPreview->columnCount() && c < static_cast<int>(preview_.columns.size()); ++c) {
        store::TextColumn shown = preview_.columns[c];
        if (QTableWidgetItem* name = grdColumns->item(c, 0)) shown.name = name->text().toStdString();
        grdPreview->setHorizontalHeaderItem(c, new QTableWidgetItem(HeaderText(shown)));
    }
}

std::vector<store::TextColumn> frmTextImport::EditedColumns() const {
    std::vector<store::TextColumn> columns = preview_.columns;
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (QTableWidgetItem* name = grdColumns->item(static_cast<int>(c), 0))
            columns[c].name = name->text().trimmed().toStdString();
    return columns;
}

void frmTextImport::accept() {
    if (importing_) return;
    // The progress window lets events through: no second import, and no closing, until this one ends.
    importing_ = true;
    setEnabled(false);
    const bool imported = Import();
    setEnabled(true);
    importing_ = false;
    if (imported) QDialog::accept();
}

void frmTextImport::reject() {
    if (!importing_) QDialog::reject();
}

bool frmTextImport::Import() {
    const std::string table = txtTableName->text().trimmed().toStdString();
    const store::TextFormat format = Format();
    store::TextTableRequest request;
    request.table = table;
    ProgressScope progress;
    try {
        if (preview_.empty) throw CorvError(store::kTextFileEmpty, "The file '" + path_ + "' is empty.");
        switch (store::StatusOfTableName(auction_, table)) {
            case store::TableNameStatus::Reserved:
                throw CorvError(store::kTableNameReserved,
                                "The table '" + table +
                                    "' comes with the round results files or belongs to the program: it is "
                                    "never replaced. Choose another name.");
            case store::TableNameStatus::Exists:
                if (Desktop().MessageBox("A table named '" + table + "' exists already.\rReplace it?",
                                         MsgButtons::YesNoDefaultNo, MsgIcon::Question,
                                         kTitle) != MsgAnswer::Yes)
                    return false;
                request.replace = true;
                break;
            case store::TableNameStatus::Free:
                break;
        }
        const auto share = [](double from, double span) {
            return [from, span](double done) {
                return Desktop().ProgressStep(static_cast<int>(kProgressSteps * (from + span * done)), {});
            };
        };
        const std::string fileName = std::filesystem::path(path_).filename().string();
        progress.Begin(kTitle, "Reading " + fileName + "...", kProgressSteps, 300);
        const store::TextScan whole = store::ScanText(text_, format, 0, share(0, kScanShare));
        if (!whole.raggedLines.empty()) {
            progress.End();
            const std::string lines = LineList(whole.raggedLines);
            if (Desktop().MessageBox(std::to_string(whole.raggedLines.size()) +
                                         " rows have another number of fields than the first row (" +
                                         std::to_string(whole.columns.size()) + "): line" +
                                         (whole.raggedLines.size() > 1 ? "s " : " ") + lines +
                                         ".\r\rSkip them and import the other rows?",
                                     MsgButtons::YesNo, MsgIcon::Exclamation, kTitle) != MsgAnswer::Yes) {
                lblStatus->setText(QStringLiteral("Nothing was imported: rows with another number of fields "
                                                  "(line %1).")
                                       .arg(Q(lines)));
                return false;
            }
            request.skipRaggedRows = true;
            progress.Begin(kTitle, "Writing " + table + "...", kProgressSteps, 300);
        }
        // The names as edited, the types as every row has them.
        request.columns = EditedColumns();
        for (std::size_t c = 0; c < request.columns.size(); ++c)
            request.columns[c].type = whole.columns[c].type;
        written_ = store::WriteTextTable(auction_, text_, format, request, share(kScanShare, 1 - kScanShare));
        return true;
    } catch (const CorvError& e) {
        progress.End();
        if (e.number() == err::Cancelled) {
            lblStatus->setText(QStringLiteral("Cancelled: nothing was imported."));
            return false;
        }
        ShowErrorBox(ErrorForm::NumberColon, e, kTitle);
    } catch (const std::exception& e) {
        progress.End();
        ShowErrorBox(ErrorForm::NumberColon, e, kTitle);
    }
    return false;
}

void ImportTableFromText(store::Auction* auction, QWidget* parent) {
    if (!RequireWritableAuction(auction)) return;
    FileDialogOptions options;
    options.filter = kTextFileFilter;
    options.title = kTitle;
    const std::optional<std::string> chosen = Desktop().OpenFileDialog(options);
    if (!chosen || chosen->empty()) return;
    try {
        frmTextImport dialog(*auction, *chosen, parent);
        Desktop().RunModal(dialog);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e, kTitle);
    }
}

}  // namespace corv
