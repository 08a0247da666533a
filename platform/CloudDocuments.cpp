#include "CloudDocuments.h"

#include <mutex>

namespace platform
{
namespace
{
    std::mutex backendMutex;
    std::shared_ptr<CloudDocuments> backend;
}

CloudDocuments& CloudDocuments::standard()
{
    std::lock_guard<std::mutex> lock (backendMutex);
    if (backend == nullptr)
        backend = std::make_shared<NoCloudDocuments>();
    return *backend;
}

void CloudDocuments::setStandard (std::shared_ptr<CloudDocuments> newBackend)
{
    std::lock_guard<std::mutex> lock (backendMutex);
    backend = std::move (newBackend);
}
}
