// The channels the listings service knows, read from the "channels" file: in file order, by id
// and by name. One manager serves the process; it is dropped when the region line-up is reset
// or the database closes, and read again from the file on its next use.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "listings/Channel.h"

class CFolderPaths;

class CChannelManager {
public:
    // Folder texts, each ending in "/".
    struct Folders {
        std::string strChannels;    // holds "channels" ("channels-folder")
        std::string strImages;      // channel logos ("channel-images-folder")
        std::string strOldImages;   // where older versions kept the logos ("quilvo-folder")
    };

    explicit CChannelManager(Folders folders);

    // Reads the channels file (writing the logos embedded in older versions of it), moves logos
    // from the old folder into the images folder, and makes the channels. A file that cannot be
    // read is logged and leaves no channels.
    void Load();

    // Null when there is no such channel.
    CChannelPtr GetChannel(uint32_t uID) const;
    // The first channel of that name, compared without regard to case.
    CChannelPtr GetChannelByName(std::string_view name) const;
    std::vector<CChannelPtr> GetChannels() const;
    // Adds a channel; it answers for its id from now on, taking the place in the list of a
    // channel with the same id, or else going at the end.
    CChannelPtr AddChannel(uint32_t uID, std::string strName, std::string strShortName, std::string strLiveURL,
                           std::string strCategory);
    // Sets the new flag of the channels with these ids, logging their names.
    void MarkNewChannels(const std::set<uint32_t>& ids);

    // The process's manager, loaded on first use with the folders of the table given here.
    static void SetFolderPaths(const CFolderPaths* pPaths);
    static std::shared_ptr<CChannelManager> Get();
    // Forgets the process's manager; the next Get reads the file again.
    static void Drop();

private:
    struct Entry {
        uint32_t uID = 0;
        std::string strName;
        std::string strExtra;
    };
    std::vector<Entry> ReadChannelsFile();
    void MoveOldImages();

    const Folders m_folders;
    mutable std::mutex m_lock;
    std::vector<CChannelPtr> m_channels;
    std::unordered_map<uint32_t, CChannelPtr> m_byID;
};
