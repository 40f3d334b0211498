#include "overview/OverviewTableCopy.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QTableView>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/DesktopServices.h"
#include "platform/ExportFile.h"

namespace corv::overview {

namespace {

// The columns in the order the header shows them, hidden ones left out.
std::vector<int> ShownColumns(const QTableView& view) {
    const QHeaderView* header = view.horizontalHeader();
    std::vector<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical)) columns.push_back(logical);
    }
    return columns;
}

QString HeaderText(const QTableView& view, int column) {
    return view.model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

QString CellText(const QTableView& view, int row, int column) {
    return view.model()->index(row, column).data(Qt::DisplayRole).toString();
}

// A pasted cell stays one cell: what would split its row or line becomes a blank.
QString ClipboardCell(QString text) {
    std::replace_if(
        text.begin(), text.end(), [](QChar c) { return SplitsTextLine(c.unicode()); }, QChar(u' '));
    return text;
}

QString CsvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

void Copy(const QTableView& view) {
    const QString text = SelectionText(view);
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void Export(const QTableView& view, const QString& name) {
    FileDialogOptions options;
    options.filter = "CSV (Comma delimited) (*.csv)|*.csv|";
    options.title = ("Export " + name).toStdString();
    options.fileName = (name + ".csv").toStdString();
    const QByteArray csv = TableCsv(view);
    ExportToChosenFile(options, [&csv](const std::string& chosen) {
        std::string path = chosen;
        if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty()) path += ".csv";
        ExportFile file(path);
        file.Write(std::string_view(csv.constData(), static_cast<std::size_t>(csv.size())));
        file.Close();
    });
}

// Ctrl+C before the view's own handling, which would copy the current cell alone; Shift+F10 opens the
// context menu at the current cell, where the platform offers no key of its own for it.
class TableKeys : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool copy = key->matches(QKeySequence::Copy);
        const bool menu = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
        if (!copy && !menu) return false;
        auto* view = static_cast<QTableView*>(watched);
        if (event->type() == QEvent::KeyPress && copy) Copy(*view);
        if (event->type() == QEvent::KeyPress && menu) {
            const QRect cell = view->visualRect(view->currentIndex());
            emit view->customContextMenuRequested(cell.isValid() ? cell.center() : QPoint(0, 0));
        }
        event->accept();
        return true;
    }
};

}  // namespace

QString SelectionText(const QTableView& view) {
    const QItemSelectionModel* selection = view.selectionModel();
    if (!selection || !view.model() || !selection->hasSelection()) return {};
    const QModelIndexList chosen = selection->selectedIndexes();
    int top = view.model()->rowCount(), bottom = -1;
    std::vector<bool> columnChosen(static_cast<std::size_t>(view.model()->columnCount()), false);
    for (const QModelIndex& index : chosen) {
        top = std::min(top, index.row());
        bottom = std::max(bottom, index.row());
        columnChosen[static_cast<std::size_t>(index.column())] = true;
    }
    // The columns as shown from the first chosen to the last, those between included.
    const std::vector<int> shown = ShownColumns(view);
    const auto isChosen = [&columnChosen](int c) { return columnChosen[static_cast<std::size_t>(c)]; };
    const auto first = std::find_if(shown.begin(), shown.end(), isChosen);
    if (first == shown.end() || bottom < 0) return {};
    const std::vector<int> span(first, std::find_if(shown.rbegin(), shown.rend(), isChosen).base());

    QStringList lines;
    QStringList cells;
    for (int c : span) cells << ClipboardCell(HeaderText(view, c));
    lines << cells.join(u'\t');
    for (int r = top; r <= bottom; ++r) {
        cells.clear();
        for (int c : span)
            cells << (selection->isSelected(view.model()->index(r, c)) ? ClipboardCell(CellText(view, r, c))
                                                                       : QString());
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

QByteArray TableCsv(const QTableView& view) {
    const std::vector<int> columns = ShownColumns(view);
    QStringList lines;
    QStringList cells;
    for (int c : columns) cells << CsvField(HeaderText(view, c));
    lines << cells.join(u',');
    for (int r = 0; r < view.model()->rowCount(); ++r) {
        cells.clear();
        for (int c : columns) cells << CsvField(CellText(view, r, c));
        lines << cells.join(u',');
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

QMenu* ContextMenuOf(const QTableView* view) {
    return view->findChild<QMenu*>(view->objectName() + QStringLiteral("Menu"), Qt::FindDirectChildrenOnly);
}

void AddCopyAndExport(QTableView* view, const QString& name) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->installEventFilter(new TableKeys(view));

    auto* menu = new QMenu(view);
    menu->setObjectName(view->objectName() + QStringLiteral("Menu"));
    QAction* copy = menu->addAction(QStringLiteral("&Copy"));
    copy->setObjectName(QStringLiteral("actCopy"));
    copy->setShortcut(QKeySequence::Copy);
    // Shown in the menu only: the view's filter takes the key itself.
    copy->setShortcutContext(Qt::WidgetShortcut);
    QAction* exportAll = menu->addAction(QStringLiteral("&Export\u2026"));
    exportAll->setObjectName(QStringLiteral("actExport"));
    QObject::connect(copy, &QAction::triggered, view, [view] { Copy(*view); });
    QObject::connect(exportAll, &QAction::triggered, view, [view, name] { Export(*view, name); });
    QObject::connect(menu, &QMenu::aboutToShow, view,
                     [view, copy] { copy->setEnabled(view->selectionModel()->hasSelection()); });

    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, menu,
                     [view, menu](const QPoint& at) { menu->popup(view->viewport()->mapToGlobal(at)); });
}

}  // namespace corv::overview
