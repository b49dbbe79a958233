// The settings store: the table, its XML file, the scrambled form of values and safe saving.
#include "foundation/SettingsStore.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "foundation/CRC.h"
#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "foundation/FolderPaths.h"
#include "foundation/KRXML.h"
#include "foundation/Log.h"
#include "foundation/Tea.h"
#include "platform/Clock.h"
#include "platform/File.h"

namespace {

constexpr const char* kRootName = "ApplicationSettings";
constexpr const char* kScrambleStart = "ASXSTART";
constexpr const char* kScrambleEnd = "ASXEND";
// A scrambled value never unpacks to more than this.
constexpr size_t kMaxUnscrambledSize = 16u << 20;

const char* TypeWord(CSettingsStore::Kind kind)
{
    switch (kind) {
    case CSettingsStore::kindUInt: return "uint";
    case CSettingsStore::kindBool: return "bool";
    case CSettingsStore::kindScrambled: return "string-enc";
    case CSettingsStore::kindString: break;
    }
    return "string";
}

// A setting read from a file, before it enters the table.
struct ReadSetting {
    std::string name;
    CSettingsStore::Kind kind;
    std::string text;
    uint32_t number = 0;
};

// Collects the settings of an "ApplicationSettings" element; a nested one is a group whose name
// and "." go in front of the names inside it. Unknown elements and types are skipped.
void ReadGroup(KRXML::CElement* element, const std::string& prefix, std::vector<ReadSetting>& out)
{
    KRXML::CElementIterator children(element);
    while (KRXML::CElement* child = children.Next()) {
        const char* name = child->GetAttribute("name");
        if (child->m_strName == kRootName) {
            ReadGroup(child, prefix + (name ? name : "") + ".", out);
            continue;
        }
        const char* type = child->GetAttribute("type");
        const char* value = child->GetAttribute("value");
        if (child->m_strName != "setting" || !name || !type || !value)
            continue;
        ReadSetting setting{prefix + name, CSettingsStore::kindString, value};
        if (NamesEqual(type, "string")) {
        } else if (NamesEqual(type, "uint")) {
            setting.kind = CSettingsStore::kindUInt;
            child->GetAttributeInt("value", setting.number);
        } else if (NamesEqual(type, "bool")) {
            setting.kind = CSettingsStore::kindBool;
            child->GetAttributeInt("value", setting.number);
            setting.number = setting.number != 0;
        } else if (NamesEqual(type, "string-enc")) {
            setting.kind = CSettingsStore::kindScrambled;
            if (!CSettingsStore::Unscramble(value, setting.text))
                continue;
        } else {
            continue;
        }
        out.push_back(std::move(setting));
    }
}

std::string FileName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

CSettingsStore::CSettingsStore(unsigned daysToKeep) : m_nDaysToKeep(daysToKeep) {}

CSettingsStore::~CSettingsStore()
{
    if (IsModified())
        Save();
}

const CSettingsStore::Entry* CSettingsStore::Lookup(const std::string& name) const
{
    for (const Entry& entry : m_buckets[NameBucket(name)])
        if (NamesEqual(entry.name, name))
            return &entry;
    return nullptr;
}

CSettingsStore::Entry& CSettingsStore::Put(const std::string& name, Kind kind)
{
    m_bModified = true;
    Chain& chain = m_buckets[NameBucket(name)];
    for (Entry& entry : chain) {
        if (NamesEqual(entry.name, name)) {
            entry = Entry{name, kind, {}, 0};
            return entry;
        }
    }
    return *chain.insert(chain.begin(), Entry{name, kind, {}, 0});
}

bool CSettingsStore::Exists(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return Lookup(name) != nullptr;
}

void CSettingsStore::Remove(const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_lock);
    Chain& chain = m_buckets[NameBucket(name)];
    for (auto it = chain.begin(); it != chain.end(); ++it) {
        if (NamesEqual(it->name, name)) {
            chain.erase(it);
            m_bModified = true;
            return;
        }
    }
}

bool CSettingsStore::GetString(const std::string& name, std::string& out, const char* defaultValue) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const Entry* entry = Lookup(name);
    if (entry && (entry->kind == kindString || entry->kind == kindScrambled)) {
        out = entry->text;
        return true;
    }
    if (defaultValue)
        out = defaultValue;
    return false;
}

bool CSettingsStore::GetUInt(const std::string& name, uint32_t& out, uint32_t defaultValue) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const Entry* entry = Lookup(name);
    out = entry && entry->kind == kindUInt ? entry->number : defaultValue;
    return entry && entry->kind == kindUInt;
}

bool CSettingsStore::GetBool(const std::string& name, bool& out, bool defaultValue) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const Entry* entry = Lookup(name);
    out = entry && entry->kind == kindBool ? entry->number != 0 : defaultValue;
    return entry && entry->kind == kindBool;
}

void CSettingsStore::SetString(const std::string& name, const std::string& value, bool scramble)
{
    std::lock_guard<std::mutex> guard(m_lock);
    Put(name, scramble ? kindScrambled : kindString).text = value;
}

void CSettingsStore::SetUInt(const std::string& name, uint32_t value)
{
    std::lock_guard<std::mutex> guard(m_lock);
    Put(name, kindUInt).number = value;
}

void CSettingsStore::SetBool(const std::string& name, bool value)
{
    std::lock_guard<std::mutex> guard(m_lock);
    Put(name, kindBool).number = value ? 1 : 0;
}

void CSettingsStore::SetDaysToKeep(unsigned days)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_nDaysToKeep = days;
}

void CSettingsStore::SetFolderPaths(const CFolderPaths* paths)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_pFolders = paths;
}

bool CSettingsStore::IsModified() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bModified;
}

bool CSettingsStore::Load(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_strPath = path;
    // A save that stopped between putting the old file aside and moving the new one in leaves
    // only the ".old" copy.
    std::string source = path;
    if (!plat::FileExists(path) && plat::FileExists(path + ".old"))
        source = path + ".old";

    std::string error;
    std::vector<ReadSetting> settings;
    KRXML::CElement* parsed = nullptr;
    try {
        if (!KRXML::ParseFile(source, true, parsed))
            error = "Failed to read file '" + source + "': " + FormatLastError();
    } catch (CBaseException* e) {
        error = e->GetText();
        e->Delete();
    }
    if (parsed) {
        KRXML::CElementPtr root(parsed);
        if (KRXML::CElement* settingsElement = root->FindChild(kRootName))
            ReadGroup(settingsElement, std::string(), settings);
        else
            error = std::string("The file has no ") + kRootName + " element";
    }
    if (!error.empty()) {
        LogDetail("ApplicationSettings file couldn't be opened with the following error; %s\n",
                  error.c_str());
        return false;
    }
    for (ReadSetting& setting : settings) {
        Entry& entry = Put(setting.name, setting.kind);
        entry.text = std::move(setting.text);
        entry.number = setting.number;
    }
    m_bModified = false;
    return true;
}

bool CSettingsStore::Save()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_strPath.empty() || !WriteFile())
        return false;
    m_bModified = false;
    KeepDatedCopy();
    return true;
}

bool CSettingsStore::WriteFile()
{
    KRXML::CElementPtr root(new KRXML::CElement());
    KRXML::CElement* settings = root->AddChild(kRootName);
    for (const Chain& chain : m_buckets) {
        for (const Entry& entry : chain) {
            KRXML::CElement* element = settings->AddChild("setting");
            element->SetAttribute("name", entry.name);
            Setting described = Describe(entry);
            if (entry.kind == kindScrambled && !Scramble(entry.text, described.value))
                continue;   // left with its name only, so the next load skips it
            element->SetAttribute("type", described.type);
            element->SetAttribute("value", described.value);
        }
    }

    if (plat::FileExists(m_strPath) && plat::IsReadOnly(m_strPath))
        plat::SetReadOnly(m_strPath, false);
    const std::string temp = m_strPath + ".temp";
    if (!KRXML::SaveFile(root.get(), temp, xmlIndented))
        return false;
    if (plat::FileExists(m_strPath) && !plat::MoveFileReplacing(m_strPath, m_strPath + ".old"))
        return false;
    return plat::MoveFileReplacing(temp, m_strPath);
}

// One copy per day named "YYYY-MM-DD <file name>" (the first save of the day makes it); copies
// older than the days to keep are deleted.
void CSettingsStore::KeepDatedCopy()
{
    std::string folder;
    if (m_pFolders) {
        try {
            m_pFolders->FindFolder("user-settings-backup", folder);
        } catch (CBaseException* e) {
            LogWarning("CSettingsStore::Save couldn't use the backup folder because %s", e->GetText());
            e->Delete();
        }
    }
    if (folder.empty())
        folder = FolderOf(m_strPath);

    const std::string name = FileName(m_strPath);
    std::tm local{};
    plat::UtcToLocal(plat::NowUnix(), local);
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    const std::string copy = folder + date + name;
    if (!plat::FileExists(copy))
        plat::CopyFileReplacing(m_strPath, copy);

    const uint64_t now = plat::NowFileTime();
    const uint64_t limitMinutes = uint64_t(m_nDaysToKeep) * 1440;
    for (const plat::FileInfo& info : plat::FindFiles(folder + "* " + name)) {
        if (info.isDirectory || info.lastWrite > now)
            continue;
        const uint64_t ageMinutes = (now - info.lastWrite) / 10000000 / 60;
        if (ageMinutes > limitMinutes)
            plat::DeleteFile(folder + info.name);
    }
}

CSettingsStore::Setting CSettingsStore::Describe(const Entry& entry)
{
    Setting setting{entry.name, TypeWord(entry.kind), entry.text};
    if (entry.kind == kindUInt)
        setting.value = std::to_string(entry.number);
    else if (entry.kind == kindBool)
        setting.value = entry.number ? "1" : "0";
    return setting;
}

std::vector<CSettingsStore::Setting> CSettingsStore::List() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<Setting> settings;
    for (const Chain& chain : m_buckets)
        for (const Entry& entry : chain)
            settings.push_back(Describe(entry));
    return settings;
}

std::optional<CSettingsStore::Setting> CSettingsStore::Find(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const Entry* entry = Lookup(name);
    if (!entry)
        return std::nullopt;
    return Describe(*entry);
}

bool CSettingsStore::Scramble(const std::string& text, std::string& out)
{
    std::string plain(4, '\0');
    const uint32_t crc = CalculateCRC(text.data(), text.size());
    for (int i = 0; i < 4; ++i)
        plain[i] = char(crc >> (8 * i));
    plain += text;

    uLongf packedSize = compressBound(plain.size());
    std::vector<uint8_t> packed(2 + packedSize);
    packed[0] = 0x01;
    packed[1] = 0x00;
    if (compress(packed.data() + 2, &packedSize, reinterpret_cast<const Bytef*>(plain.data()),
                 plain.size()) != Z_OK ||
        packedSize < 8)
        return false;
    packed.resize(2 + packedSize);
    TeaEncipherBlock(packed.data() + 2, kSettingsValueKey);

    static const char digits[] = "0123456789abcdef";
    out = kScrambleStart;
    for (uint8_t byte : packed) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    out += kScrambleEnd;
    return true;
}

bool CSettingsStore::Unscramble(const std::string& text, std::string& out)
{
    if (text.size() <= 8)
        return false;
    size_t begin = 0, end = text.size();
    const size_t start = text.find(kScrambleStart);
    const size_t stop = text.find(kScrambleEnd);
    if (start != std::string::npos && stop != std::string::npos) {
        begin = start + std::strlen(kScrambleStart);
        end = stop;
        if (end < begin)
            return false;
    }
    if ((end - begin) % 2 != 0)
        return false;
    std::vector<uint8_t> bytes;
    bytes.reserve((end - begin) / 2);
    for (size_t i = begin; i < end; i += 2) {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(uint8_t(high << 4 | low));
    }
    // Two bytes of format version, then the enciphered zlib stream.
    if (bytes.size() < 2 + 8)
        return false;
    uint8_t* packed = bytes.data() + 2;
    const size_t packedSize = bytes.size() - 2;
    TeaDecipherBlock(packed, kSettingsValueKey);

    std::vector<uint8_t> plain(std::min(packedSize * 10, kMaxUnscrambledSize));
    for (;;) {
        uLongf plainSize = plain.size();
        int result = uncompress(plain.data(), &plainSize, packed, packedSize);
        if (result == Z_OK) {
            plain.resize(plainSize);
            break;
        }
        if (result != Z_BUF_ERROR || plain.size() >= kMaxUnscrambledSize)
            return false;
        plain.resize(std::min(plain.size() * 2, kMaxUnscrambledSize));
    }
    if (plain.size() < 4)
        return false;
    const uint32_t stored = uint32_t(plain[0]) | uint32_t(plain[1]) << 8 | uint32_t(plain[2]) << 16 |
                            uint32_t(plain[3]) << 24;
    if (stored != CalculateCRC(plain.data() + 4, plain.size() - 4))
        return false;
    out.assign(reinterpret_cast<const char*>(plain.data()) + 4, plain.size() - 4);
    return true;
}
