#include "processor/presets/CloudPass.h"

#include <algorithm>

namespace brisalto::presets
{
    namespace
    {
        bool contains (const std::vector<std::string>& list, const std::string& path)
        {
            return std::find (list.begin(), list.end(), path) != list.end();
        }

        void erase (std::vector<std::string>& list, const std::string& path)
        {
            list.erase (std::remove (list.begin(), list.end(), path), list.end());
        }

        std::string lastPathComponent (const std::string& path)
        {
            const auto slash = path.find_last_of ('/');
            return slash == std::string::npos ? path : path.substr (slash + 1);
        }
    }

    void CloudPass::reset()
    {
        gathered = false;
        pending.clear();
        downloadedList.clear();
        currentDocs.clear();
        previous.clear();
    }

    CloudPass::Result CloudPass::run (const std::vector<ListedDocument>& listing,
                                      const std::map<std::string, FileStamp>& ownWrites)
    {
        Result result;
        result.gathering = ! gathered;
        result.found = (int) listing.size();

        const auto isCurrent = [&] (const ListedDocument& doc)
        {
            if (const auto own = ownWrites.find (doc.path); own != ownWrites.end() && own->second == doc.stamp)
                return true;
            if (result.gathering)
                return true;
            const auto before = previous.find (doc.path);
            return before != previous.end() && before->second == doc.stamp;
        };

        std::set<std::string> newDocs;
        if (result.gathering)
        {
            pending.clear();
            downloadedList.clear();
            for (const auto& doc : listing)
            {
                if (isCurrent (doc))
                {
                    downloadedList.push_back (doc.path);
                    newDocs.insert (doc.path);
                }
                else
                {
                    pending.push_back (doc.path);
                }
            }
            gathered = true;
        }
        else
        {
            std::set<std::string> seen;
            for (const auto& doc : listing)
            {
                seen.insert (doc.path);
                if (! isCurrent (doc))
                {
                    if (! contains (pending, doc.path))
                        pending.push_back (doc.path);
                    erase (downloadedList, doc.path);
                }
                else
                {
                    newDocs.insert (doc.path);
                    if (! contains (downloadedList, doc.path))
                    {
                        downloadedList.push_back (doc.path);
                        erase (pending, doc.path);
                        result.downloaded.push_back (lastPathComponent (doc.path));
                    }
                }
            }

            const auto unseen = [&seen] (const std::string& path) { return seen.count (path) == 0; };
            pending.erase (std::remove_if (pending.begin(), pending.end(), unseen), pending.end());
            downloadedList.erase (std::remove_if (downloadedList.begin(), downloadedList.end(), unseen), downloadedList.end());
        }

        previous.clear();
        for (const auto& doc : listing)
            previous[doc.path] = doc.stamp;

        if (newDocs != currentDocs)
        {
            currentDocs = std::move (newDocs);
            result.docsChanged = true;
        }
        return result;
    }
}
