#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// One pass of the cloud watcher over a listing of the cloud documents folder, without any file
// access: which files are current (fully synced), which are still changing, which file just
// became current, and whether the set of current files changed so that the clients must hear.
//
// A file counts as current when its size and modification time are the same as in the
// previous listing (a sync client is done with it), when it is in the first listing after a
// start (the gathering pass), or when this process wrote it itself with exactly that size and
// time. A file that is new or changed since the previous listing is not current yet.
namespace brisalto::presets
{
    struct FileStamp
    {
        int64_t size = 0;
        int64_t modifiedNs = 0;
        bool operator== (const FileStamp& o) const noexcept { return size == o.size && modifiedNs == o.modifiedNs; }
        bool operator!= (const FileStamp& o) const noexcept { return ! operator== (o); }
    };

    struct ListedDocument
    {
        std::string path;  // full path of a file directly in the documents folder
        FileStamp stamp;
    };

    class CloudPass
    {
    public:
        struct Result
        {
            bool gathering = false;               // the first complete listing since the start
            int found = 0;                        // files in the listing
            bool docsChanged = false;             // the clients must be called with docs()
            std::vector<std::string> downloaded;  // file names that became current in this pass
        };

        // The next listing is a gathering pass again (the current set is kept for comparison).
        void restart() noexcept { gathered = false; }

        // Forgets everything, the current set included (another folder is watched).
        void reset();

        Result run (const std::vector<ListedDocument>& listing, const std::map<std::string, FileStamp>& ownWrites);

        const std::set<std::string>& docs() const noexcept { return currentDocs; }
        const std::vector<std::string>& pendingUrls() const noexcept { return pending; }
        const std::vector<std::string>& downloadedUrls() const noexcept { return downloadedList; }

    private:
        bool gathered = false;
        std::vector<std::string> pending;         // listed, not current yet
        std::vector<std::string> downloadedList;  // known to be current
        std::set<std::string> currentDocs;
        std::map<std::string, FileStamp> previous;
    };
}
