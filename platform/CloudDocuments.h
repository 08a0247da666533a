#pragma once

#include <juce_core/juce_core.h>

#include <memory>

// The per-user cloud document store that preset files may live in. On Linux it is a sync
// folder that the user names and that a sync client keeps in step with other machines: the
// environment variable BRISALTO_SYNC_ROOT, or else the string key "kAppPrefSyncRoot" of the
// user defaults (desktop launchers do not see shell variables). An empty or relative value
// counts as unset. Inside the sync folder the product keeps its container, a folder named
// after the maker and the product, with "Documents" inside it.
namespace brisalto::platform
{
    class CloudDocuments
    {
    public:
        virtual ~CloudDocuments() = default;

        // Whether the user is signed in to a document store (here: the sync folder exists).
        virtual bool hasIdentityToken() = 0;

        // The store's documents folder for this product before the container is looked up,
        // or an empty string when there is no store.
        virtual juce::String mobileDocumentsPath() = 0;

        // The container lookup: makes the container's documents folder when missing and
        // returns its path, or an empty string when there is no store. May block on the
        // file system: call it off the message thread.
        virtual juce::String containerDocumentsPath() = 0;

        static CloudDocuments& standard();
        // The same backend, kept alive for work that outlasts the call.
        static std::shared_ptr<CloudDocuments> standardShared();
        static void setStandard (std::shared_ptr<CloudDocuments> backend);
    };

    // The container folder's name inside the sync folder. Users' files live there: never rename it.
    constexpr const char* cloudContainerName = "Kestrom Brisalto";
    constexpr const char* syncRootVariable = "BRISALTO_SYNC_ROOT";
    constexpr const char* syncRootDefaultsKey = "kAppPrefSyncRoot";

    // The real backend: the sync folder named by the variable or the user defaults.
    class SyncFolderCloudDocuments final : public CloudDocuments
    {
    public:
        bool hasIdentityToken() override;
        juce::String mobileDocumentsPath() override;
        juce::String containerDocumentsPath() override;

        // The named sync folder (absolute), or an empty string when none is named.
        static juce::String syncRootPath();
    };
}
