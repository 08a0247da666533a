#pragma once

#include <juce_core/juce_core.h>

#include <memory>

// The per-user cloud document store that preset files may live in. Linux has no such
// service: the default backend reports none, so presets stay in the local folder.
namespace platform
{
    class CloudDocuments
    {
    public:
        virtual ~CloudDocuments() = default;

        // Whether the user is signed in to a document store.
        virtual bool hasIdentityToken() = 0;

        // The store's mobile-documents folder for this product, or an empty string.
        virtual juce::String mobileDocumentsPath() = 0;

        static CloudDocuments& standard();
        static void setStandard (std::shared_ptr<CloudDocuments> backend);
    };

    class NoCloudDocuments final : public CloudDocuments
    {
    public:
        bool hasIdentityToken() override { return false; }
        juce::String mobileDocumentsPath() override { return {}; }
    };

    // A store kept in a folder of the test's choosing.
    class FolderCloudDocuments final : public CloudDocuments
    {
    public:
        explicit FolderCloudDocuments (juce::File folder) : root (std::move (folder)) {}
        bool hasIdentityToken() override { return true; }
        juce::String mobileDocumentsPath() override { return root.getFullPathName(); }

    private:
        juce::File root;
    };
}
