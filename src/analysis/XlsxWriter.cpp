#include <zip.h>

#include <algorithm>
#include <charconv>
#include <exception>
#include <functional>
#include <map>

#include "analysis/PivotModel.h"
#include "analysis/PivotParts.h"
#include "analysis/Workbook.h"
#include "analysis/XmlWriter.h"
#include "engine/CorvError.h"

namespace corv {

using namespace xlsx;

namespace {

constexpr const char* kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr const char* kContentType = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

// A part is written by a producer that appends its next piece to the buffer and says whether more follow;
// libzip pulls the pieces while it compresses, so a large sheet never exists as one text.
using Producer = std::function<bool(XmlWriter&)>;

struct PartStream {
    Producer produce;
    std::string buffer;
    std::size_t pos = 0;
    bool done = false;
    std::exception_ptr failure;
    zip_error_t error;
};

zip_int64_t PartCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* part = static_cast<PartStream*>(userdata);
    switch (cmd) {
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_READ: {
            try {
                while (part->buffer.size() - part->pos < len && !part->done) {
                    part->buffer.erase(0, part->pos);
                    part->pos = 0;
                    XmlWriter w(part->buffer);
                    part->done = !part->produce(w);
                }
            } catch (...) {
                part->failure = std::current_exception();
                zip_error_set(&part->error, ZIP_ER_INTERNAL, 0);
                return -1;
            }
            const std::size_t n = std::min<std::size_t>(len, part->buffer.size() - part->pos);
            std::copy_n(part->buffer.data() + part->pos, n, static_cast<char*>(data));
            part->pos += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->mtime = time(nullptr);
            st->valid |= ZIP_STAT_MTIME;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&part->error, data, len);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&part->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

std::string ColumnLetters(long column) {
    std::string ref = CellRef(1, column);
    ref.pop_back();
    return ref;
}

// Cell styles, in the order of styles.xml's cellXfs.
int StyleOf(StoredKind kind) {
    switch (kind) {
        case StoredKind::Currency:
            return 1;
        case StoredKind::Date:
            return 2;
        case StoredKind::DateTime:
            return 3;
        default:
            return 0;
    }
}

void WriteStyles(XmlWriter& w) {
    w.Declaration();
    w.Open("styleSheet").Attr("xmlns", kMainNs);
    w.Raw(
        "<numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd\"/>"
        "<numFmt numFmtId=\"165\" formatCode=\"yyyy\\-mm\\-dd\\ hh:mm:ss\"/></numFmts>"
        "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
        "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
        "borderId=\"0\"/></cellStyleXfs>"
        "<cellXfs count=\"4\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
        "<xf numFmtId=\"4\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
        "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
        "<xf numFmtId=\"165\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
        "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" "
        "builtinId=\"0\"/></cellStyles>");
    w.Close();
}

void Relationship(XmlWriter& w, const std::string& id, const char* type, const std::string& target) {
    w.Open("Relationship")
        .Attr("Id", id)
        .Attr("Type", std::string(kRelType) + type)
        .Attr("Target", target)
        .Close();
}

void WriteRelationships(XmlWriter& w, const std::function<void(XmlWriter&)>& body) {
    w.Declaration();
    w.Open("Relationships").Attr("xmlns", kPackageRelNs);
    body(w);
    w.Close();
}

// Streams a sheet's rows, a few hundred kilobytes at a time.
class SheetProducer {
  public:
    SheetProducer(const Worksheet& sheet, bool selected) : sheet_(sheet), selected_(selected) {
        letters_.reserve(sheet.ColumnCount());
        for (long c = 1; c <= sheet.ColumnCount(); ++c) letters_.push_back(ColumnLetters(c));
    }

    bool operator()(XmlWriter& w) {
        if (row_ == 0) {
            Head(w);
            row_ = 1;
        }
        std::string& out = w.Buffer();
        while (row_ <= sheet_.RowCount() && out.size() < (256u << 10)) Row(w, row_++);
        if (row_ <= sheet_.RowCount()) return true;
        out += "</sheetData></worksheet>";
        return false;
    }

  private:
    void Head(XmlWriter& w) {
        std::string& out = w.Buffer();
        w.Declaration();
        out += "<worksheet xmlns=\"";
        out += kMainNs;
        out += "\" xmlns:r=\"";
        out += kRelNs;
        out += "\">";
        if (sheet_.RowCount() > 0 && sheet_.ColumnCount() > 0)
            out += "<dimension ref=\"A1:" + CellRef(sheet_.RowCount(), sheet_.ColumnCount()) + "\"/>";
        out += selected_ ? "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>"
                         : "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>";
        out += "<sheetFormatPr defaultRowHeight=\"15\"/>";
        const auto& widths = sheet_.Widths();
        bool any = false;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            if (widths[c] == 0) continue;
            if (!any) out += "<cols>";
            any = true;
            w.Open("col")
                .Attr("min", static_cast<long long>(c + 1))
                .Attr("max", static_cast<long long>(c + 1));
            w.AttrNumber("width", std::min(255.0, widths[c] + 2.0)).Attr("customWidth", 1).Close();
        }
        if (any) out += "</cols>";
        out += "<sheetData>";
    }

    void Row(XmlWriter& w, long r) {
        const std::vector<StoredCell>& cells = sheet_.Row(r);
        std::string& out = w.Buffer();
        char rowText[24];
        const auto rowEnd = std::to_chars(rowText, rowText + sizeof rowText, r).ptr;
        const std::string_view rowNumber(rowText, rowEnd - rowText);
        out += "<row r=\"";
        out += rowNumber;
        out += "\">";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const StoredCell& cell = cells[c];
            if (cell.kind == StoredKind::Empty) continue;
            out += "<c r=\"";
            out += letters_[c];
            out += rowNumber;
            switch (cell.kind) {
                case StoredKind::Text:
                    // Always preserved: a block of two spaces is a value of its own.
                    out += "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">";
                    AppendEscaped(out, sheet_.Text(cell), false);
                    out += "</t></is></c>";
                    continue;
                case StoredKind::Boolean:
                    out += cell.number != 0 ? "\" t=\"b\"><v>1</v></c>" : "\" t=\"b\"><v>0</v></c>";
                    continue;
                case StoredKind::Number:
                    out += "\"><v>";
                    break;
                default:
                    out += "\" s=\"";
                    out += static_cast<char>('0' + StyleOf(cell.kind));
                    out += "\"><v>";
                    break;
            }
            AppendNumber(out, cell.number);
            out += "</v></c>";
        }
        out += "</row>";
    }

    const Worksheet& sheet_;
    bool selected_;
    std::vector<std::string> letters_;
    long row_ = 0;
};

class ZipOut {
  public:
    explicit ZipOut(const std::string& path) : path_(path) {
        int code = 0;
        zip_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
        if (!zip_) {
            zip_error_t error;
            zip_error_init_with_code(&error, code);
            const std::string what = zip_error_strerror(&error);
            zip_error_fini(&error);
            throw CorvError(err::PathNotFound, "Cannot create the workbook " + path + ": " + what);
        }
    }
    ~ZipOut() {
        if (zip_) zip_discard(zip_);
    }

    void Add(const std::string& name, Producer produce) {
        parts_.push_back(std::make_unique<PartStream>());
        PartStream& part = *parts_.back();
        part.produce = std::move(produce);
        zip_error_init(&part.error);
        zip_source_t* source = zip_source_function(zip_, PartCallback, &part);
        if (!source) Fail();
        const zip_int64_t index = zip_file_add(zip_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            Fail();
        }
        // The fastest deflate level: the parts are plain XML, which packs well anyway.
        zip_set_file_compression(zip_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
    }
    void AddSmall(const std::string& name, const std::function<void(XmlWriter&)>& write) {
        Add(name, [write](XmlWriter& w) {
            write(w);
            return false;
        });
    }

    void Close() {
        const int rc = zip_close(zip_);
        for (auto& part : parts_)
            if (part->failure) {
                zip_discard(zip_);
                zip_ = nullptr;
                std::rethrow_exception(part->failure);
            }
        if (rc != 0) Fail();
        zip_ = nullptr;
        for (auto& part : parts_) zip_error_fini(&part->error);
    }

  private:
    [[noreturn]] void Fail() {
        throw CorvError(err::PathNotFound, "Cannot write the workbook " + path_ + ": " +
                                               zip_error_strerror(zip_get_error(zip_)));
    }
    std::string path_;
    zip_t* zip_ = nullptr;
    std::vector<std::unique_ptr<PartStream>> parts_;
};

}  // namespace

void WriteXlsx(const Workbook& book, const std::string& path) {
    const std::size_t sheetCount = book.sheets.size();
    // The tables, worked out from their sources as they stand now, and the sheets that show them.
    std::vector<PivotModel> models;
    std::map<int, std::unique_ptr<Worksheet>> rendered;
    std::map<int, std::vector<std::size_t>> pivotsOfSheet;
    for (std::size_t p = 0; p < book.pivots.size(); ++p) {
        const PivotTableDef& def = book.pivots[p];
        models.push_back(BuildPivotModel(book, def));
        const int s = book.SheetIndex(def.sheet);
        auto& sheet = rendered[s];
        if (!sheet) sheet = std::make_unique<Worksheet>(def.sheet);
        RenderPivot(models.back(), def, *sheet);
        pivotsOfSheet[s].push_back(p);
    }

    ZipOut zip(path);
    zip.AddSmall("[Content_Types].xml", [&](XmlWriter& w) {
        w.Declaration();
        w.Open("Types").Attr("xmlns", "http://schemas.openxmlformats.org/package/2006/content-types");
        w.Raw(
            "<Default Extension=\"rels\" "
            "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>");
        const auto over = [&](const std::string& part, const char* type) {
            w.Open("Override")
                .Attr("PartName", part)
                .Attr("ContentType", std::string(kContentType) + type)
                .Close();
        };
        over("/xl/workbook.xml", "sheet.main+xml");
        over("/xl/styles.xml", "styles+xml");
        for (std::size_t s = 0; s < sheetCount; ++s)
            over("/xl/worksheets/sheet" + std::to_string(s + 1) + ".xml", "worksheet+xml");
        for (std::size_t p = 0; p < book.pivots.size(); ++p) {
            const std::string n = std::to_string(p + 1);
            over("/xl/pivotTables/pivotTable" + n + ".xml", "pivotTable+xml");
            over("/xl/pivotCache/pivotCacheDefinition" + n + ".xml", "pivotCacheDefinition+xml");
            over("/xl/pivotCache/pivotCacheRecords" + n + ".xml", "pivotCacheRecords+xml");
        }
        w.Close();
    });
    zip.AddSmall("_rels/.rels", [](XmlWriter& w) {
        WriteRelationships(
            w, [](XmlWriter& w) { Relationship(w, "rId1", "officeDocument", "xl/workbook.xml"); });
    });
    zip.AddSmall("xl/workbook.xml", [&](XmlWriter& w) {
        w.Declaration();
        w.Open("workbook").Attr("xmlns", kMainNs).Attr("xmlns:r", kRelNs);
        w.Open("bookViews").Open("workbookView").Attr("activeTab", book.activeSheet).Close().Close();
        w.Open("sheets");
        for (std::size_t s = 0; s < sheetCount; ++s)
            w.Open("sheet")
                .Attr("name", book.sheets[s]->Name())
                .Attr("sheetId", static_cast<long long>(s + 1))
                .Attr("r:id", "rId" + std::to_string(s + 1))
                .Close();
        w.Close();
        if (!book.pivots.empty()) {
            w.Open("pivotCaches");
            for (std::size_t p = 0; p < book.pivots.size(); ++p)
                w.Open("pivotCache")
                    .Attr("cacheId", static_cast<long long>(p + 1))
                    .Attr("r:id", "rId" + std::to_string(sheetCount + 2 + p))
                    .Close();
            w.Close();
        }
        w.Close();
    });
    zip.AddSmall("xl/_rels/workbook.xml.rels", [&](XmlWriter& w) {
        WriteRelationships(w, [&](XmlWriter& w) {
            for (std::size_t s = 0; s < sheetCount; ++s)
                Relationship(w, "rId" + std::to_string(s + 1), "worksheet",
                             "worksheets/sheet" + std::to_string(s + 1) + ".xml");
            Relationship(w, "rId" + std::to_string(sheetCount + 1), "styles", "styles.xml");
            for (std::size_t p = 0; p < book.pivots.size(); ++p)
                Relationship(w, "rId" + std::to_string(sheetCount + 2 + p), "pivotCacheDefinition",
                             "pivotCache/pivotCacheDefinition" + std::to_string(p + 1) + ".xml");
        });
    });
    zip.AddSmall("xl/styles.xml", WriteStyles);
    for (std::size_t s = 0; s < sheetCount; ++s) {
        const int si = static_cast<int>(s);
        const auto r = rendered.find(si);
        const Worksheet& sheet = r != rendered.end() ? *r->second : *book.sheets[s];
        const std::string n = std::to_string(s + 1);
        zip.Add("xl/worksheets/sheet" + n + ".xml", SheetProducer(sheet, si == book.activeSheet));
        if (r == rendered.end()) continue;
        zip.AddSmall("xl/worksheets/_rels/sheet" + n + ".xml.rels",
                     [pivots = pivotsOfSheet[si]](XmlWriter& w) {
                         WriteRelationships(w, [&](XmlWriter& w) {
                             int id = 1;
                             for (std::size_t p : pivots)
                                 Relationship(w, "rId" + std::to_string(id++), "pivotTable",
                                              "../pivotTables/pivotTable" + std::to_string(p + 1) + ".xml");
                         });
                     });
    }
    for (std::size_t p = 0; p < book.pivots.size(); ++p) {
        const std::string n = std::to_string(p + 1);
        const PivotModel& m = models[p];
        const PivotTableDef& def = book.pivots[p];
        zip.AddSmall("xl/pivotTables/pivotTable" + n + ".xml", [mp = &m, dp = &def, p](XmlWriter& w) {
            WritePivotTable(w, *mp, *dp, static_cast<int>(p + 1));
        });
        zip.AddSmall("xl/pivotTables/_rels/pivotTable" + n + ".xml.rels", [n](XmlWriter& w) {
            WriteRelationships(w, [&](XmlWriter& w) {
                Relationship(w, "rId1", "pivotCacheDefinition",
                             "../pivotCache/pivotCacheDefinition" + n + ".xml");
            });
        });
        zip.AddSmall("xl/pivotCache/pivotCacheDefinition" + n + ".xml",
                     [mp = &m, dp = &def](XmlWriter& w) { WriteCacheDefinition(w, *mp, *dp); });
        zip.AddSmall("xl/pivotCache/_rels/pivotCacheDefinition" + n + ".xml.rels", [n](XmlWriter& w) {
            WriteRelationships(w, [&](XmlWriter& w) {
                Relationship(w, "rId1", "pivotCacheRecords", "pivotCacheRecords" + n + ".xml");
            });
        });
        zip.Add("xl/pivotCache/pivotCacheRecords" + n + ".xml", RecordsProducer(m, def, book));
    }
    zip.Close();
}

}  // namespace corv
