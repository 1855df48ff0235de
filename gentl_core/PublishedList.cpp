// PublishedList.cpp: the list update shared by the system's interface list
// and an interface's device list.
#include "gentl_core/PublishedList.h"

#include <algorithm>
#include <new>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLInterface.h"
#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_core/SyncObjects.h"
#include "platform/Assert.h"

namespace GenTLCore {

#define DISCOVERY_LOG(level) TL_LOG(LOG_CATEGORY_DEVDISC, level)

uint32_t ClampSelector(uint32_t& selector, size_t count)
{
    if (count == 0)
        selector = 0;
    else if (selector >= count)
        selector = static_cast<uint32_t>(count - 1);
    return selector;
}

uint64_t UpdateTimeoutFromRegister(uint32_t value)
{
    if (value == 0)
        return GetBranding().DefaultDiscoveryTimeout();
    if (value == 0xFFFFFFFF)
        return GENTL_INFINITE;
    return value;
}

bool IsKeyListed(const std::vector<std::string>& keys, const std::string& key)
{
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

template <class Module, class Tag>
GC_ERROR PublishedList<Module, Tag>::Update(bool publish, const Steps& steps)
{
    DISCOVERY_LOG(LOG_LEVEL_INFO) << "Started new " << texts.noun << " discovery procedure"
                                  << (publish ? " including" : " without")
                                  << " update of the published " << texts.noun << " list";
    DISCOVERY_LOG(LOG_LEVEL_INFO) << "Asking the discovery engine for updated " << texts.noun
                                  << " list";
    Candidates candidates;
    const GC_ERROR discovered = steps.discover(candidates);
    if (discovered != GC_ERR_SUCCESS)
        return discovered;

    if (publish)
        EraseDeadModules();
    Found found;
    if (!InspectCandidates(candidates, steps, found))
        return ReportError(GC_ERR_OUT_OF_MEMORY, texts.not_created);
    SettleNotRediscovered(publish, found);
    if (publish)
        PublishFound(found);
    TL_ASSERT_MSG(nr_published <= all.size(), texts.published_fit);
    return GC_ERR_SUCCESS;
}

template <class Module, class Tag>
GC_ERROR PublishedList<Module, Tag>::UpdateReportChange(bool8_t* changed, const Steps& steps)
{
    const std::vector<SharedPtr<Module>> before(all.begin(), all.begin() + nr_published);
    const GC_ERROR result = Update(true, steps);
    if (result != GC_ERR_SUCCESS)
        return result;
    if (changed != nullptr) {
        bool differs = before.size() != nr_published;
        for (size_t i = 0; !differs && i < before.size(); ++i)
            differs = before[i].Get() != all[i].Get();
        *changed = differs ? 1 : 0;
    }
    return GC_ERR_SUCCESS;
}

// Erasing a published entry shortens the published part at once, so a later
// failure in the same update leaves a count that still fits the list.
template <class Module, class Tag>
void PublishedList<Module, Tag>::EraseAt(size_t index)
{
    if (index < nr_published)
        --nr_published;
    all.erase(all.begin() + static_cast<std::ptrdiff_t>(index));
}

template <class Module, class Tag>
void PublishedList<Module, Tag>::EraseDeadModules()
{
    DISCOVERY_LOG(LOG_LEVEL_INFO) << "Checking for dead " << texts.noun
                                  << " objects to be destroyed";
    for (size_t i = 0; i < all.size();) {
        bool dead = false;
        {
            // Released before the erase, which may destroy the module.
            ScopedLock lock(all[i]->GetHandleLock());
            dead = all[i]->IsNotAvailable() && !all[i]->IsOpen();
        }
        if (dead)
            EraseAt(i);
        else
            ++i;
    }
}

template <class Module, class Tag>
bool PublishedList<Module, Tag>::InspectCandidates(const Candidates& candidates,
                                                   const Steps& steps, Found& found)
{
    DISCOVERY_LOG(LOG_LEVEL_INFO) << "Inspecting candidates reported by discovery engine";
    TagIndex index = IndexByTagID();
    for (const SharedPtr<Tag>& candidate : candidates) {
        if (!TL_ASSERT(candidate))
            continue;
        const std::string id = candidate->GetID();
        DISCOVERY_LOG(LOG_LEVEL_INFO) << "Considering candidate tagged as " << id;
        if (const SharedPtr<Module> listed = FindSameTag(index, id, *candidate)) {
            DISCOVERY_LOG(LOG_LEVEL_INFO) << "The " << texts.noun << " is already in the list as "
                                          << listed->GetID() << ", skipping.";
            found.insert(listed.Get());
            if (steps.refresh)
                steps.refresh(*listed, candidate);
            continue;
        }
        if (id.empty()) {
            DISCOVERY_LOG(LOG_LEVEL_ERROR)
                << texts.indefinite
                << " could not be added to the list due to missing identity (unique string).";
            continue;
        }
        // IDs stay unique: a second one would be unreachable by its ID.
        if (index.count(id) != 0) {
            DISCOVERY_LOG(LOG_LEVEL_ERROR) << texts.indefinite << " tagged as " << id
                                           << " could not be added to the list: another "
                                           << texts.noun << " has that ID.";
            continue;
        }
        SharedPtr<Module> created;
        if (!CreateCompleted(steps, candidate, created))
            return false;
        all.push_back(created);
        index[id].push_back(created);
        found.insert(created.Get());
        DISCOVERY_LOG(LOG_LEVEL_INFO) << "Added the " << texts.noun << " to the list as "
                                      << created->GetID();
    }
    return true;
}

template <class Module, class Tag>
typename PublishedList<Module, Tag>::TagIndex PublishedList<Module, Tag>::IndexByTagID() const
{
    TagIndex index;
    for (const SharedPtr<Module>& module : all)
        index[module->GetTagID()].push_back(module);
    return index;
}

// A nameless candidate can still be a listed module: only a scan finds it.
template <class Module, class Tag>
SharedPtr<Module> PublishedList<Module, Tag>::FindSameTag(const TagIndex& index,
                                                          const std::string& id,
                                                          const Tag& candidate) const
{
    if (id.empty())
        return Find([&candidate](Module& listed) { return listed.HasSameTag(candidate); });
    const auto group = index.find(id);
    if (group == index.end())
        return SharedPtr<Module>();
    for (const SharedPtr<Module>& listed : group->second)
        if (listed->HasSameTag(candidate))
            return listed;
    return SharedPtr<Module>();
}

template <class Module, class Tag>
bool PublishedList<Module, Tag>::CreateCompleted(const Steps& steps,
                                                 const SharedPtr<Tag>& candidate,
                                                 SharedPtr<Module>& created)
{
    return TryAllocate([&] {
               created = steps.create(candidate);
               if (created)
                   created->CompleteConstruction();
           }) &&
           created;
}

template <class Module, class Tag>
void PublishedList<Module, Tag>::SettleNotRediscovered(bool publish, const Found& found)
{
    DISCOVERY_LOG(LOG_LEVEL_INFO) << "Checking for existing " << texts.noun
                                  << " objects that were not rediscovered";
    for (size_t i = 0; i < all.size();) {
        Module& module = *all[i];
        bool erase = false;
        {
            // Released before the erase, which may destroy the module.
            ScopedLock lock(module.GetHandleLock());
            if (found.count(&module) != 0)
                module.ClearNotAvailable();
            else if (publish && !module.IsOpen())
                erase = true;
            else
                module.SetNotAvailable();
        }
        if (erase)
            EraseAt(i);
        else
            ++i;
    }
}

template <class Module, class Tag>
void PublishedList<Module, Tag>::PublishFound(const Found& found)
{
    const auto first_unpublished =
        std::stable_partition(all.begin(), all.end(), [&found](const SharedPtr<Module>& module) {
            return found.count(module.Get()) != 0;
        });
    nr_published = static_cast<uint32_t>(first_unpublished - all.begin());
}

template <class Module, class Tag>
SharedPtr<Module> PublishedList<Module, Tag>::Published(uint32_t index) const
{
    if (index >= nr_published)
        return SharedPtr<Module>();
    return all[index];
}

template <class Module, class Tag>
GC_ERROR PublishedList<Module, Tag>::GetNumPublished(uint32_t* num) const
{
    if (num == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, texts.null_count);
    *num = nr_published;
    return GC_ERR_SUCCESS;
}

template <class Module, class Tag>
GC_ERROR PublishedList<Module, Tag>::GetPublishedID(uint32_t index, char* buffer,
                                                    size_t* size) const
{
    if (index >= nr_published)
        return ReportError(GC_ERR_INVALID_INDEX, texts.bad_index);
    return CopyIDString(buffer, size, all[index]->GetID());
}

template <class Module, class Tag>
GC_ERROR PublishedList<Module, Tag>::FindPublished(const char* id, SharedPtr<Module>& found) const
{
    if (id == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, texts.null_id);
    for (uint32_t i = 0; i < nr_published; ++i) {
        if (all[i]->GetID() == id) {
            found = all[i];
            return GC_ERR_SUCCESS;
        }
    }
    return ReportError(GC_ERR_INVALID_ID, texts.unknown_id);
}

template <class Module, class Tag>
SharedPtr<Module> PublishedList<Module, Tag>::Find(const Matcher& matches) const
{
    for (const SharedPtr<Module>& module : all)
        if (matches(*module))
            return module;
    return SharedPtr<Module>();
}

template <class Module, class Tag>
OpenLookup PublishedList<Module, Tag>::FindForOpen(const Matcher& matches,
                                                   const std::function<GC_ERROR()>& one_off_update,
                                                   SharedPtr<Module>& found,
                                                   GC_ERROR& update_result)
{
    update_result = GC_ERR_SUCCESS;
    found = Find(matches);
    if (!found || found->IsNotAvailable()) {
        update_result = one_off_update();
        if (update_result != GC_ERR_SUCCESS)
            return OpenLookup::UpdateFailed;
        found = Find(matches);
        if (!found)
            return OpenLookup::NotFound;
    }
    return found->IsNotAvailable() ? OpenLookup::NotAvailable : OpenLookup::Found;
}

template <class Module, class Tag>
SharedPtr<Module> PublishedList<Module, Tag>::Selected(uint32_t& selector) const
{
    if (nr_published == 0) {
        selector = 0;
        return SharedPtr<Module>();
    }
    return all[ClampSelector(selector, nr_published)];
}

template <class Module, class Tag>
void PublishedList<Module, Tag>::Clear()
{
    nr_published = 0;
    all.clear();
}

template class PublishedList<GenTLInterface, InterfaceTag>;
template class PublishedList<GenTLLocalDevice, DeviceTag>;

}  // namespace GenTLCore
