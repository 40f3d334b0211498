// Round results files in the Jet format, grown from a real one with libmdb's own write calls, for the
// benchmarks. libmdb inserts a row only into a data page the table already owns and has room on, and updates
// a row only in place; the pages a larger table needs are appended here and entered in its page maps.
#pragma once

#include <fcntl.h>
#include <glib.h>  // mdbtools.h includes it inside extern "C"
#include <mdbtools.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

namespace jetwrite {

constexpr const char* kBids = "Markets and Bidders";

[[noreturn]] inline void Fail(const std::string& what) {
    throw std::runtime_error("writing Jet round files: " + what);
}

inline std::uint32_t Get32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline unsigned Get16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}

// The file's pages read and written beside libmdb's own handle, which keeps no page but the one it is on.
class Pages {
  public:
    Pages(const std::string& path, std::size_t pageSize) : size_(pageSize) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0) Fail("cannot open " + path);
    }
    ~Pages() { ::close(fd_); }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;

    std::vector<unsigned char> Read(std::uint32_t page) const {
        std::vector<unsigned char> buf(size_);
        if (::pread(fd_, buf.data(), size_, static_cast<off_t>(page) * size_) != static_cast<ssize_t>(size_))
            Fail("cannot read page " + std::to_string(page));
        return buf;
    }
    void Write(std::uint32_t page, const unsigned char* buf) const {
        if (::pwrite(fd_, buf, size_, static_cast<off_t>(page) * size_) != static_cast<ssize_t>(size_))
            Fail("cannot write page " + std::to_string(page));
    }
    std::uint32_t Count() const { return static_cast<std::uint32_t>(::lseek(fd_, 0, SEEK_END) / size_); }

  private:
    int fd_ = -1;
    std::size_t size_;
};

// Where row `row` of a data page starts and how long it is.
inline std::pair<std::size_t, std::size_t> RowSpan(const std::vector<unsigned char>& page, int row,
                                                   const MdbFormatConstants& fmt) {
    const unsigned rco = fmt.row_count_offset;
    if (row >= static_cast<int>(Get16(&page[rco]))) Fail("map row missing");
    const std::size_t start = Get16(&page[rco + 2 + row * 2]) & 0x1fff;
    const std::size_t end = row == 0 ? page.size() : Get16(&page[rco + row * 2]) & 0x1fff;
    return {start, end - start};
}

// Marks page in or out of the page map whose row the table definition holds at mapOffset (the pages the
// table owns, or those of them with room), in the file and in libmdb's copy of it when that holds the bits.
inline void SetMapBit(const Pages& pages, MdbTableDef* table, std::uint16_t mapOffset, std::uint32_t page,
                      bool on, unsigned char* copy) {
    const MdbFormatConstants& fmt = *table->entry->mdb->fmt;
    const std::uint32_t pgRow = Get32(&pages.Read(table->entry->table_pg)[mapOffset]);
    std::vector<unsigned char> mapPage = pages.Read(pgRow >> 8);
    const auto [start, len] = RowSpan(mapPage, static_cast<int>(pgRow & 0xff), fmt);
    unsigned char* map = &mapPage[start];
    auto flip = [on](unsigned char& byte, unsigned bit) {
        byte = static_cast<unsigned char>(on ? byte | (1u << bit) : byte & ~(1u << bit));
    };
    if (map[0] == 0) {  // the bits in the row itself, from its first page on
        const std::uint32_t first = Get32(map + 1);
        const std::size_t bit = page - first;
        if (page < first || 5 + bit / 8 >= len)
            Fail("page " + std::to_string(page) + " is past the inline map");
        flip(map[5 + bit / 8], bit % 8);
        flip(copy[5 + bit / 8], bit % 8);
        pages.Write(pgRow >> 8, mapPage.data());
    } else if (map[0] == 1) {  // the row lists bitmap pages, each covering (page size - 4) * 8 pages
        const std::size_t per = (fmt.pg_size - 4) * 8;
        const std::size_t slot = page / per;
        if (1 + slot * 4 + 4 > len) Fail("page " + std::to_string(page) + " is past the map's bitmap pages");
        const std::uint32_t bitmapPage = Get32(map + 1 + slot * 4);
        if (bitmapPage == 0) Fail("the map has no bitmap page for page " + std::to_string(page));
        std::vector<unsigned char> bitmap = pages.Read(bitmapPage);
        const std::size_t bit = page % per;
        flip(bitmap[4 + bit / 8], bit % 8);
        pages.Write(bitmapPage, bitmap.data());
    } else {
        Fail("unknown page map type");
    }
}

inline int FreeSpace(const unsigned char* page, const MdbFormatConstants& fmt) {
    const unsigned rco = fmt.row_count_offset;
    const unsigned rows = Get16(page + rco);
    const unsigned freeEnd = rows == 0 ? fmt.pg_size : Get16(page + rco + rows * 2) & 0x1fff;
    return static_cast<int>(freeEnd) - static_cast<int>(rco + 2 + rows * 2);
}

struct Handle {
    explicit Handle(const std::string& path) : mdb(mdb_open(path.c_str(), MDB_WRITABLE)) {
        if (!mdb) Fail("libmdb cannot open " + path + " for writing");
    }
    ~Handle() { mdb_close(mdb); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    MdbHandle* mdb;
};

struct Table {
    Table(MdbHandle* mdb, const char* name)
        : def(mdb_read_table_by_name(mdb, const_cast<gchar*>(name), MDB_TABLE)) {
        if (!def) Fail(std::string("no table ") + name);
        if (!mdb_read_columns(def)) Fail(std::string("cannot read the columns of ") + name);
        mdb_read_indices(def);  // none is an empty answer
    }
    ~Table() { mdb_free_tabledef(def); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    MdbColumn* Column(unsigned i) const {
        return static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
    }
    int Find(const char* name) const {
        for (unsigned i = 0; i < def->num_cols; ++i)
            if (std::strcmp(Column(i)->name, name) == 0) return static_cast<int>(i);
        return -1;
    }
    MdbTableDef* def;
};

// One bid's values as the row holds them: the bytes of each column in column order.
using RawRow = std::vector<std::vector<unsigned char>>;

inline std::vector<RawRow> ReadRawRows(MdbHandle* mdb, Table& t) {
    std::vector<RawRow> rows;
    std::vector<MdbField> fields(t.def->num_cols + 1);
    mdb_rewind_table(t.def);
    while (mdb_fetch_row(t.def)) {
        const int rco = mdb->fmt->row_count_offset;
        const int row = static_cast<int>(t.def->cur_row) - 1;
        const int start = Get16(mdb->pg_buf + rco + 2 + row * 2) & 0x1fff;
        const int end = row == 0 ? static_cast<int>(mdb->fmt->pg_size)
                                 : static_cast<int>(Get16(mdb->pg_buf + rco + row * 2) & 0x1fff);
        mdb_crack_row(t.def, start, static_cast<size_t>(end - start), fields.data());
        RawRow r(t.def->num_cols);
        for (unsigned i = 0; i < t.def->num_cols; ++i)
            if (!fields[i].is_null && fields[i].siz > 0) {
                const auto* p = static_cast<const unsigned char*>(fields[i].value);
                r[i].assign(p, p + fields[i].siz);
            }
        rows.push_back(std::move(r));
    }
    return rows;
}

// Grows the bids of the round file at path to `bids` rows: the file's own bids followed by new ones that
// pair its markets with its bidders at other amounts, every one of its auction and round.
inline void GrowBids(const std::string& path, int bids) {
    Handle h(path);
    MdbHandle* mdb = h.mdb;
    const MdbFormatConstants& fmt = *mdb->fmt;
    Table t(mdb, kBids);
    MdbTableDef* table = t.def;
    if (table->num_idxs != 0) Fail("libmdb cannot keep the bids' indexes");
    if (table->free_usage_map[0] != 0) Fail("the bids' free-space map is not inline");
    const int market = t.Find("Market"), bidder = t.Find("Bidder Name");
    const int amount = t.Find("Bid Amount"), net = t.Find("Net Bid Amount");
    if (market < 0 || bidder < 0 || amount < 0 || net < 0) Fail("the bids lack a column");
    const std::vector<RawRow> seed = ReadRawRows(mdb, t);
    if (seed.empty()) Fail("the file has no bids to grow from");

    Pages pages(path, fmt.pg_size);
    // libmdb fills the first page of the free-space map with room enough; only the page being filled stays in
    // it, so it is always that one (and libmdb never has to be trusted with the 2 bytes of a row's offset).
    std::uint32_t current = 0;
    for (std::uint32_t p = 1; p < pages.Count(); ++p) {
        const std::size_t bit = p - Get32(table->free_usage_map + 1);
        if (5 + bit / 8 < table->freemap_sz && (table->free_usage_map[5 + bit / 8] >> (bit % 8) & 1)) {
            if (current)
                SetMapBit(pages, table, fmt.tab_free_map_offset, current, false, table->free_usage_map);
            current = p;
        }
    }
    int room = current ? FreeSpace(pages.Read(current).data(), fmt) : 0;

    const unsigned cols = table->num_cols;
    std::vector<MdbField> fields(cols);
    std::vector<unsigned char> packed(fmt.pg_size);
    for (int k = static_cast<int>(seed.size()); k < bids; ++k) {
        RawRow row = seed[k % seed.size()];
        row[bidder] = seed[(k / seed.size() + k) % seed.size()][bidder];
        for (int c : {amount, net}) {  // Currency: ten-thousandths, little-endian
            if (row[c].size() != 8) continue;
            std::int64_t v;
            std::memcpy(&v, row[c].data(), 8);
            v += static_cast<std::int64_t>(k % 97) * 10000 * 1000;
            std::memcpy(row[c].data(), &v, 8);
        }
        for (unsigned i = 0; i < cols; ++i) {
            MdbColumn* col = t.Column(i);
            mdb_fill_temp_field(&fields[i], row[i].empty() ? nullptr : row[i].data(),
                                static_cast<int>(row[i].size()), col->is_fixed, row[i].empty(), 0,
                                static_cast<int>(i));
        }
        const int size = mdb_pack_row(table, packed.data(), cols, fields.data());
        if (room >= size + 2) {
            if (!mdb_insert_row(table, static_cast<int>(cols), fields.data()) || mdb->cur_pg != current)
                Fail("libmdb did not insert bid " + std::to_string(k + 1));
        } else {
            // libmdb reckons a page without rows to have no room, so the new page's first row is put on it
            // here, by libmdb's own placing of a row on the page in its buffer.
            void* fresh = mdb_new_data_pg(table->entry);
            std::memcpy(mdb->pg_buf, fresh, fmt.pg_size);
            g_free(fresh);
            mdb_add_row_to_pg(table, packed.data(), size);
            const std::uint32_t page = pages.Count();
            pages.Write(page, mdb->pg_buf);
            mdb->cur_pg = page;
            SetMapBit(pages, table, fmt.tab_usage_map_offset, page, true, table->usage_map);
            SetMapBit(pages, table, fmt.tab_free_map_offset, page, true, table->free_usage_map);
            if (current)
                SetMapBit(pages, table, fmt.tab_free_map_offset, current, false, table->free_usage_map);
            current = page;
        }
        room = FreeSpace(mdb->pg_buf, fmt);
    }
    // libmdb leaves the definition's row count as it was.
    std::vector<unsigned char> def = pages.Read(table->entry->table_pg);
    Put32(&def[fmt.tab_num_rows_offset], static_cast<std::uint32_t>(bids));
    pages.Write(table->entry->table_pg, def.data());
}

// Sets Round to round in every row of every table that has that column, in place.
inline void StampRound(const std::string& path, int round) {
    Handle h(path);
    MdbHandle* mdb = h.mdb;
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_TABLE);
    if (!catalog) Fail("cannot read the catalog of " + path);
    std::vector<std::string> names;
    for (unsigned i = 0; i < catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!mdb_is_system_table(e)) names.emplace_back(e->object_name);
    }
    std::vector<char> bound(mdb->bind_size + 8);
    for (const std::string& name : names) {
        Table t(mdb, name.c_str());
        const int c = t.Find("Round");
        if (c < 0) continue;
        int len = 0;
        mdb_bind_column(t.def, c + 1, bound.data(), &len);
        mdb_rewind_table(t.def);
        while (mdb_fetch_row(t.def)) {
            // The fetch left the value as text in the buffer; the update takes the column's own bytes.
            Put32(reinterpret_cast<unsigned char*>(bound.data()), static_cast<std::uint32_t>(round));
            len = 4;
            mdb_update_row(t.def);
        }
    }
}

}  // namespace jetwrite

// Writes rounds 1..rounds of auction 31 as NN_RRR.mdb into folder, each with `bids` bids of its own round,
// grown from the real round file seed (a round 1 file of auction 31). Returns the paths, round 1 first.
inline std::vector<std::string> WriteJetRoundFiles(const std::string& seed, const std::string& folder,
                                                   int rounds, int bids) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    const std::string grown = (fs::path(folder) / ".grown.mdb").string();
    fs::copy_file(seed, grown, fs::copy_options::overwrite_existing);
    fs::permissions(grown, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    jetwrite::GrowBids(grown, bids);
    std::vector<std::string> files;
    for (int r = 1; r <= rounds; ++r) {
        char name[32];
        std::snprintf(name, sizeof name, "31_%03d.mdb", r);
        const std::string path = (fs::path(folder) / name).string();
        fs::copy_file(grown, path, fs::copy_options::overwrite_existing);
        if (r != 1) jetwrite::StampRound(path, r);
        files.push_back(path);
    }
    fs::remove(grown);
    return files;
}

}  // namespace bench
