#include "CloudDocuments.h"
#include "UserDefaults.h"

#include <cstdlib>
#include <mutex>

namespace brisalto::platform
{
    namespace
    {
        std::mutex backendMutex;
        std::shared_ptr<CloudDocuments> backend;

        juce::File documentsFolderIn (const juce::String& syncRoot)
        {
            return juce::File (syncRoot).getChildFile (cloudContainerName).getChildFile ("Documents");
        }
    }

    std::shared_ptr<CloudDocuments> CloudDocuments::standardShared()
    {
        std::lock_guard<std::mutex> lock (backendMutex);
        if (backend == nullptr)
            backend = std::make_shared<SyncFolderCloudDocuments>();
        return backend;
    }

    CloudDocuments& CloudDocuments::standard()
    {
        return *standardShared();
    }

    void CloudDocuments::setStandard (std::shared_ptr<CloudDocuments> newBackend)
    {
        std::lock_guard<std::mutex> lock (backendMutex);
        backend = std::move (newBackend);
    }

    //==============================================================================
    juce::String SyncFolderCloudDocuments::syncRootPath()
    {
        const auto absoluteOrEmpty = [] (const juce::String& path) { return path.startsWithChar ('/') ? path : juce::String(); };

        // The variable wins; an empty (or relative) one counts as unset.
        if (const char* value = std::getenv (syncRootVariable))
            if (const auto path = absoluteOrEmpty (juce::String::fromUTF8 (value)); path.isNotEmpty())
                return path;

        return absoluteOrEmpty (UserDefaults::standard().stringForKey (syncRootDefaultsKey));
    }

    bool SyncFolderCloudDocuments::hasIdentityToken()
    {
        const auto root = syncRootPath();
        return root.isNotEmpty() && juce::File (root).isDirectory();
    }

    juce::String SyncFolderCloudDocuments::mobileDocumentsPath()
    {
        return hasIdentityToken() ? documentsFolderIn (syncRootPath()).getFullPathName() : juce::String();
    }

    juce::String SyncFolderCloudDocuments::containerDocumentsPath()
    {
        if (! hasIdentityToken())
            return {};
        const auto documents = documentsFolderIn (syncRootPath());
        if (! documents.isDirectory())
            documents.createDirectory();
        return documents.isDirectory() ? documents.getFullPathName() : juce::String();
    }
}
