// listings_bench [FOLDER]: makes 300 channels x 14 days of listings as update files, absorbs
// them through the programme database, and times the questions the guide asks against the same
// programmes in an indexed SQLite table. Prints a table of times, the ratios and peak memory.
#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "foundation/DeploymentKeys.h"
#include "foundation/Tea.h"
#include "listings/ProgrammeDB.h"
#include "listings/UniqueList.h"
#include "platform/Clock.h"

namespace {

constexpr int kChannels = 300;
constexpr int kDays = 14;

struct Row {
    uint32_t channel, start, end;
    std::string title, description;
    uint16_t category;
    uint32_t id;
    std::vector<uint16_t> keywords;
};

// A realistic day: programmes of 15 minutes to 2 hours, about 30 a day, descriptions of 200 to
// 600 bytes with an episode line, the people section and a qualifier list.
std::vector<Row> MakeListings(uint32_t uFirstDay)
{
    std::mt19937 random(20261211);
    static const char* kWords[] = {"the", "house", "island", "detective", "garden", "night", "kitchen", "storm",
                                   "river", "secret", "family", "journey", "market", "winter", "city", "doctor"};
    static const char* kNames[] = {"Ann Lee", "Bo Ek", "Cy Dunn", "Di Hart", "Ed Moss", "Flo Tan", "Gus Ray",
                                   "Hal Orr", "Ivy Shaw", "Jo Kent", "Kim Park", "Lu Chen"};
    static const uint16_t kMinutes[] = {15, 30, 30, 30, 45, 45, 60, 60, 60, 90, 120};
    auto pick = [&](size_t n) { return size_t(random() % n); };
    std::vector<std::string> titles;
    for (int i = 0; i < 3000; ++i)
        titles.push_back(std::string(kWords[pick(16)]) + " " + kWords[pick(16)] + " " + std::to_string(i));
    std::vector<Row> rows;
    uint32_t id = 1;
    for (int c = 1; c <= kChannels; ++c) {
        for (uint32_t t = uFirstDay; t < uFirstDay + kDays * 86400;) {
            Row row;
            row.channel = uint32_t(c);
            row.start = t;
            row.end = t + kMinutes[pick(11)] * 60u;
            row.title = titles[pick(titles.size())];
            row.category = uint16_t(1 + pick(20));
            row.id = id++;
            std::string text = "Series " + std::to_string(1 + pick(9)) + ", episode " + std::to_string(1 + pick(20)) +
                               ". ";
            const size_t length = 200 + pick(300);
            while (text.size() < length)
                text += std::string(kWords[pick(16)]) + (pick(9) ? " " : ". ");
            text += "\rDirector: " + std::string(kNames[pick(12)]) + "\rStarring: " + kNames[pick(12)] + ", " +
                    kNames[pick(12)] + ", " + kNames[pick(12)] + "\r(Subtitles, Widescreen)";
            row.description = std::move(text);
            for (size_t k = pick(4); k > 0; --k)
                row.keywords.push_back(uint16_t(pick(500)));
            t = row.end;
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

// The update file of one channel: header, then the TEA-scrambled zlib payload.
std::vector<uint8_t> EncodeChannel(const std::vector<Row>& rows, size_t from, size_t to)
{
    std::vector<uint8_t> b;
    auto u8 = [&](uint32_t v) { b.push_back(uint8_t(v)); };
    auto u16 = [&](uint32_t v) { u8(v); u8(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v); u16(v >> 16); };
    auto str = [&](const std::string& s) { u32(uint32_t(s.size())); b.insert(b.end(), s.begin(), s.end()); };
    u32(1);
    u32(8);
    u32(rows[from].channel);
    u32(uint32_t(to - from));
    for (size_t i = from; i < to; ++i) {
        const Row& r = rows[i];
        const time_t start = time_t(r.start);
        std::tm tm{};
        gmtime_r(&start, &tm);
        u8(uint32_t(tm.tm_mday)); u8(uint32_t(tm.tm_mon)); u16(uint32_t(tm.tm_year + 1900));
        u8(uint32_t(tm.tm_hour)); u8(uint32_t(tm.tm_min)); u8(1);
        u16((r.end - r.start) / 60);
        u32(0);
        str(r.title);
        u16(r.category);
        str(r.description);
        u16(0);
        u16(0);
        u32(uint32_t(r.keywords.size()));
        for (uint16_t k : r.keywords)
            u16(k);
        u32(r.id);
    }
    uLongf size = compressBound(uLong(b.size()));
    std::vector<uint8_t> file(9 + size);
    file[4] = 8;
    file[8] = 1;
    compress2(file.data() + 9, &size, b.data(), uLong(b.size()), 6);
    file.resize(9 + size);
    TeaEncipherBuffer(file.data() + 9, size, kUpdateFileKey);
    return file;
}

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of several runs.
double Warm(const std::function<void()>& work)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i)
        best = std::min(best, Seconds(work));
    return best;
}

long PeakMemoryKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

struct SqliteProgramme {
    uint32_t channel, start, end, category, id;
    std::string title, description;
};

class CSqliteListings {
public:
    explicit CSqliteListings(const std::string& path) { sqlite3_open(path.c_str(), &m_db); }
    ~CSqliteListings()
    {
        for (sqlite3_stmt* s : {m_range, m_next, m_all})
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }
    void Exec(const char* sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }
    void Insert(const std::vector<Row>& rows)
    {
        Exec("CREATE TABLE programmes (channel INTEGER, start INTEGER, end INTEGER, title TEXT, "
             "description TEXT, category INTEGER, id INTEGER, keywords BLOB)");
        Exec("BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(m_db, "INSERT INTO programmes VALUES (?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
        for (const Row& r : rows) {
            sqlite3_bind_int64(insert, 1, r.channel);
            sqlite3_bind_int64(insert, 2, r.start);
            sqlite3_bind_int64(insert, 3, r.end);
            sqlite3_bind_text(insert, 4, r.title.c_str(), int(r.title.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 5, r.description.c_str(), int(r.description.size()), SQLITE_STATIC);
            sqlite3_bind_int64(insert, 6, r.category);
            sqlite3_bind_int64(insert, 7, r.id);
            sqlite3_bind_blob(insert, 8, r.keywords.data(), int(r.keywords.size() * 2), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        Exec("CREATE INDEX by_channel_end ON programmes (channel, end)");
        Exec("CREATE INDEX by_channel_start ON programmes (channel, start)");
        Exec("COMMIT");
    }
    void Prepare()
    {
        const char* columns = "SELECT channel, start, end, category, id, title, description FROM programmes ";
        sqlite3_prepare_v2(m_db, (std::string(columns) + "WHERE channel=? AND end>? AND start<? ORDER BY start").c_str(),
                           -1, &m_range, nullptr);
        sqlite3_prepare_v2(m_db, (std::string(columns) + "WHERE channel=? AND end>? ORDER BY end LIMIT ?").c_str(), -1,
                           &m_next, nullptr);
        sqlite3_prepare_v2(m_db, (std::string(columns) + "WHERE channel=? ORDER BY start").c_str(), -1, &m_all,
                           nullptr);
    }
    size_t Range(uint32_t channel, uint32_t from, uint32_t to, std::vector<SqliteProgramme>& out)
    {
        sqlite3_bind_int64(m_range, 1, channel);
        sqlite3_bind_int64(m_range, 2, from);
        sqlite3_bind_int64(m_range, 3, to);
        return Collect(m_range, out);
    }
    size_t Next(uint32_t channel, uint32_t from, int count, std::vector<SqliteProgramme>& out)
    {
        sqlite3_bind_int64(m_next, 1, channel);
        sqlite3_bind_int64(m_next, 2, from);
        sqlite3_bind_int64(m_next, 3, count);
        return Collect(m_next, out);
    }
    size_t All(uint32_t channel, std::vector<SqliteProgramme>& out)
    {
        sqlite3_bind_int64(m_all, 1, channel);
        return Collect(m_all, out);
    }

private:
    size_t Collect(sqlite3_stmt* s, std::vector<SqliteProgramme>& out)
    {
        const size_t before = out.size();
        while (sqlite3_step(s) == SQLITE_ROW) {
            SqliteProgramme p;
            p.channel = uint32_t(sqlite3_column_int64(s, 0));
            p.start = uint32_t(sqlite3_column_int64(s, 1));
            p.end = uint32_t(sqlite3_column_int64(s, 2));
            p.category = uint32_t(sqlite3_column_int64(s, 3));
            p.id = uint32_t(sqlite3_column_int64(s, 4));
            p.title = reinterpret_cast<const char*>(sqlite3_column_text(s, 5));
            p.description = reinterpret_cast<const char*>(sqlite3_column_text(s, 6));
            out.push_back(std::move(p));
        }
        sqlite3_reset(s);
        return out.size() - before;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_range = nullptr;
    sqlite3_stmt* m_next = nullptr;
    sqlite3_stmt* m_all = nullptr;
};

void PrintLine(const char* what, double ours, double sqlite, size_t count)
{
    std::printf("%-34s %10.2f ms %10.2f ms %8.2f %9zu\n", what, ours * 1000, sqlite * 1000,
                sqlite > 0 ? ours / sqlite : 0.0, count);
}

}  // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qvl-listings-bench";
    fs::remove_all(root);
    fs::create_directories(root / "schedules");
    fs::create_directories(root / "pending");
    const std::string schedules = (root / "schedules").string() + "/";
    const std::string pending = (root / "pending").string() + "/";

    const uint32_t now = uint32_t(plat::NowUnix());
    const uint32_t firstDay = now / 86400 * 86400;
    std::vector<Row> rows = MakeListings(firstDay);
    std::vector<std::string> files;
    for (size_t from = 0; from < rows.size();) {
        size_t to = from;
        while (to < rows.size() && rows[to].channel == rows[from].channel)
            ++to;
        const std::vector<uint8_t> bytes = EncodeChannel(rows, from, to);
        files.push_back(pending + std::to_string(rows[from].channel) + "-1.up");
        std::ofstream(files.back(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            std::streamsize(bytes.size()));
        from = to;
    }
    std::printf("%zu programmes on %d channels over %d days in %zu update files\n\n", rows.size(), kChannels, kDays,
                files.size());

    std::vector<CChannelAssignmentPtr> lineUp;
    for (int c = 1; c <= kChannels; ++c)
        lineUp.push_back(std::make_shared<CChannelAssignment>(uint32_t(c), uint32_t(c), "", ""));
    std::mutex lock;
    std::condition_variable done;
    size_t finished = 0;
    auto hooks = [&] {
        ProgrammeDBHooks h;
        h.fillLineUp = [&](CChannelAssignmentList& list) {
            for (const auto& a : lineUp)
                list.Add(a);
        };
        h.onFileProcessed = [&](const std::string&, const std::string&) {
            std::lock_guard guard(lock);
            ++finished;
            done.notify_all();
        };
        return h;
    };

    auto database = std::make_unique<CProgrammeDBFlat>(schedules, pending, hooks());
    const double absorb = Seconds([&] {
        for (const std::string& file : files)
            database->AbsorbFile(file);
        std::unique_lock guard(lock);
        done.wait(guard, [&] { return finished == files.size(); });
    });
    database->Close();
    CUniqueProgrammeList::ReleaseShared();
    CUniquePersonList::ReleaseShared();

    CSqliteListings sqliteBuild((root / "listings.sqlite").string());
    const double insert = Seconds([&] { sqliteBuild.Insert(rows); });

    const uint32_t eveningFrom = firstDay + 2 * 86400 + 18 * 3600, eveningTo = eveningFrom + 5 * 3600;
    auto makeMap = [&] {
        ChannelProgrammeMap map;
        for (const auto& a : lineUp)
            map.emplace_back(a, CProgrammeList());
        return map;
    };
    size_t eveningCount = 0, nextCount = 0, wholeCount = 0, sqlEvening = 0, sqlNext = 0, sqlWhole = 0;
    auto evening = [&](CProgrammeDBFlat& db) {
        ChannelProgrammeMap map = makeMap();
        db.GetChannelProgrammeMap(map, eveningFrom, eveningTo);
        eveningCount = 0;
        for (const auto& [a, list] : map)
            eveningCount += list.GetCount();
    };
    auto nowNext = [&](CProgrammeDBFlat& db) {
        ChannelProgrammeMap map = makeMap();
        db.GetNextProgsChannelProgrammesMap(map, now, 2);
        nextCount = 0;
        for (const auto& [a, list] : map)
            nextCount += list.GetCount();
    };
    auto whole = [&](CProgrammeDBFlat& db) {
        CProgrammeList list;
        db.GetProgrammeList(lineUp[150], 0, UINT32_MAX - 1, list, false);
        wholeCount = list.GetCount();
    };
    auto sqlEveningRun = [&](CSqliteListings& db) {
        std::vector<SqliteProgramme> out;
        for (int c = 1; c <= kChannels; ++c)
            db.Range(uint32_t(c), eveningFrom, eveningTo, out);
        sqlEvening = out.size();
    };
    auto sqlNextRun = [&](CSqliteListings& db) {
        std::vector<SqliteProgramme> out;
        for (int c = 1; c <= kChannels; ++c)
            db.Next(uint32_t(c), now, 2, out);
        sqlNext = out.size();
    };
    auto sqlWholeRun = [&](CSqliteListings& db) {
        std::vector<SqliteProgramme> out;
        db.All(151, out);
        sqlWhole = out.size();
    };

    // Cold: a database just opened (files in the system's cache, nothing in ours).
    struct Figures {
        double eveningCold, eveningWarm, nextCold, nextWarm, whole;
    } ours{}, theirs{};
    {
        CProgrammeDBFlat db(schedules, pending, hooks());
        ours.eveningCold = Seconds([&] { evening(db); });
        ours.eveningWarm = Warm([&] { evening(db); });
    }
    {
        CProgrammeDBFlat db(schedules, pending, hooks());
        ours.nextCold = Seconds([&] { nowNext(db); });
        ours.nextWarm = Warm([&] { nowNext(db); });
        ours.whole = Warm([&] { whole(db); });
    }
    {
        CSqliteListings db((root / "listings.sqlite").string());
        db.Prepare();
        theirs.eveningCold = Seconds([&] { sqlEveningRun(db); });
        theirs.eveningWarm = Warm([&] { sqlEveningRun(db); });
    }
    {
        CSqliteListings db((root / "listings.sqlite").string());
        db.Prepare();
        theirs.nextCold = Seconds([&] { sqlNextRun(db); });
        theirs.nextWarm = Warm([&] { sqlNextRun(db); });
        theirs.whole = Warm([&] { sqlWholeRun(db); });
    }

    std::printf("%-34s %13s %13s %8s %9s\n", "", "programme db", "SQLite", "ratio", "rows");
    PrintLine("absorb everything / insert", absorb, insert, rows.size());
    PrintLine("evening 18:00-23:00, cold", ours.eveningCold, theirs.eveningCold, eveningCount);
    PrintLine("evening 18:00-23:00, warm", ours.eveningWarm, theirs.eveningWarm, eveningCount);
    PrintLine("now and next, cold", ours.nextCold, theirs.nextCold, nextCount);
    PrintLine("now and next, warm", ours.nextWarm, theirs.nextWarm, nextCount);
    PrintLine("one channel's whole schedule", ours.whole, theirs.whole, wholeCount);
    std::printf("\n(SQLite rows: evening %zu, now/next %zu, whole %zu; the database's evening rows include "
                "placeholders for gaps)\npeak memory %ld KiB\n", sqlEvening, sqlNext, sqlWhole, PeakMemoryKiB());
    fs::remove_all(root);
    return 0;
}
