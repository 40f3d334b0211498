#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <vector>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace corv {

// The program's help: the HTML help document with a list of its headings and a keyword search.
class frmHelp : public QDialog {
    Q_OBJECT
  public:
    explicit frmHelp(QWidget* parent = nullptr);

    // Loads the document; false when it cannot be read.
    bool LoadFile(const QString& path);
    void ShowContents();
    // The keyword search with keyword typed in (empty: the whole list, the search box ready for typing).
    void ShowSearch(const QString& keyword);

    struct Section {
        QString anchor;
        QString title;
        QString text;  // the section's plain text, for the search
    };
    const std::vector<Section>& Sections() const { return sections_; }
    // Titles of the sections the list shows now.
    QStringList ListedTitles() const;

    QLineEdit* txtSearch;
    QListWidget* lstTopics;
    QTextBrowser* txtHelp;

  private:
    void Filter(const QString& words);
    void OpenTopic(int row);

    std::vector<Section> sections_;
};

// Splits an HTML help document into its sections: each <h2> or <h3> with an id starts one.
std::vector<frmHelp::Section> HelpSections(const QString& html);
// Whether every word of query occurs in the section's title or text, ignoring letter case.
bool SectionMatches(const frmHelp::Section& section, const QString& query);

}  // namespace corv
