// PublishedList.h: the child modules a system or an interface knows, the
// published part of them, and the list update that both run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "GenTL.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore {

// A selector register's value clamped to the last of `count` entries, 0 when
// there is none; the clamped value is stored back.
uint32_t ClampSelector(uint32_t& selector, size_t count);

// The timeout of a register-driven list update: 0 stands for the branding's
// DefaultDiscoveryTimeout, 0xFFFFFFFF for GENTL_INFINITE.
uint64_t UpdateTimeoutFromRegister(uint32_t value);

// Whether `keys` holds `key` exactly (alternative-ID keys).
bool IsKeyListed(const std::vector<std::string>& keys, const std::string& key);

// How an update's log lines name the children, and the messages of the
// published-list queries.
struct ListTexts {
    const char* noun;            // "interface"
    const char* indefinite;      // "An interface"
    const char* null_count;      // GC_ERR_INVALID_PARAMETER of GetNumPublished
    const char* bad_index;       // GC_ERR_INVALID_INDEX of GetPublishedID
    const char* null_id;         // GC_ERR_INVALID_PARAMETER of FindPublished
    const char* unknown_id;      // GC_ERR_INVALID_ID of FindPublished
    const char* not_created;     // GC_ERR_OUT_OF_MEMORY of an update
    const char* published_fit;   // the assertion that the published part fits the list
};

// What a list update asks of the list's owner; all run under the owner's lock.
template <class Module, class Tag>
struct ListUpdateSteps {
    // Fills the empty vector with non-empty candidates; non-zero ends the
    // update with that code, nothing changed.
    std::function<GC_ERROR(std::vector<SharedPtr<Tag>>& candidates)> discover;
    // A new module for the candidate, not yet completed. Empty (or an
    // allocation failure in it or its completion) ends the update with
    // GC_ERR_OUT_OF_MEMORY and the list's not_created text.
    std::function<SharedPtr<Module>(const SharedPtr<Tag>& candidate)> create;
    // Optional: a listed module was rediscovered as `candidate`.
    std::function<void(Module& listed, const SharedPtr<Tag>& candidate)> refresh;
};

// What FindForOpen found.
enum class OpenLookup { Found, NotFound, NotAvailable, UpdateFailed };

// The children of one owner module, published ones first: the first
// NumPublished() entries are what counts, indexes and info calls see; opening
// searches the whole list.
//
// A Module offers GetID, GetTagID, IsOpen, IsNotAvailable, SetNotAvailable,
// ClearNotAvailable, GetHandleLock and HasSameTag(const Tag&).
//
// An update looks each candidate up by its tag ID, so it costs time in
// proportion to the candidates and the list, not their product; a Tag's
// IsSameAs must therefore only hold between tags of one ID. A candidate
// whose ID a module of another identity already has gets no module, so IDs
// stay unique.
//
// Lifetime: a member of its owner, which empties it at its close.
// Threads: no lock of its own; the owner calls every member under its handle
// lock, and an update takes each child's lock inside it (owner, then child).
// Invariant at every return: NumPublished() <= the size of the whole list.
template <class Module, class Tag>
class PublishedList {
public:
    using Steps = ListUpdateSteps<Module, Tag>;
    using Matcher = std::function<bool(Module& listed)>;

    explicit PublishedList(const ListTexts& texts) : texts(texts) {}
    PublishedList(const PublishedList&) = delete;
    PublishedList& operator=(const PublishedList&) = delete;

    // Discovers, adds a module for every new candidate and marks the modules
    // not rediscovered. With `publish`: first erases the closed modules marked
    // not available, erases the closed ones not rediscovered, and publishes
    // the rediscovered and new ones in their previous order. Without it, new
    // modules go behind the present ones and nothing is erased or published.
    GC_ERROR Update(bool publish, const Steps& steps);
    // The publishing update; on success a non-null `changed` tells whether
    // the published count or any published position changed. On failure
    // `changed` is left as it was.
    GC_ERROR UpdateReportChange(bool8_t* changed, const Steps& steps);

    uint32_t NumPublished() const { return nr_published; }
    // Empty for an index not below NumPublished().
    SharedPtr<Module> Published(uint32_t index) const;

    // The queries of the GenTL calls, each failure reported with its text.
    GC_ERROR GetNumPublished(uint32_t* num) const;
    // The ID of published entry `index`, the GenTL ID-string way.
    GC_ERROR GetPublishedID(uint32_t index, char* buffer, size_t* size) const;
    // The first published module whose ID equals `id` exactly.
    GC_ERROR FindPublished(const char* id, SharedPtr<Module>& found) const;
    // The first module of the whole list that `matches` accepts.
    SharedPtr<Module> Find(const Matcher& matches) const;
    // Find; when nothing matches, or the match is marked not available, runs
    // `one_off_update` once and looks again. A non-zero result of the update
    // gives UpdateFailed with the code in `update_result`.
    OpenLookup FindForOpen(const Matcher& matches, const std::function<GC_ERROR()>& one_off_update,
                           SharedPtr<Module>& found, GC_ERROR& update_result);
    // The published module a selector designates (clamped as ClampSelector);
    // empty when nothing is published.
    SharedPtr<Module> Selected(uint32_t& selector) const;

    bool IsEmpty() const { return all.empty(); }
    // Releases every module; nothing is published.
    void Clear();

private:
    using Candidates = std::vector<SharedPtr<Tag>>;
    using Found = std::unordered_set<const Module*>;
    // The modules of the whole list by their tag's ID, each group in list order.
    using TagIndex = std::unordered_map<std::string, std::vector<SharedPtr<Module>>>;

    void EraseAt(size_t index);
    void EraseDeadModules();
    // False when creation failed: the update ends with GC_ERR_OUT_OF_MEMORY.
    bool InspectCandidates(const Candidates& candidates, const Steps& steps, Found& found);
    TagIndex IndexByTagID() const;
    // The listed module that the candidate denotes; empty when none does.
    SharedPtr<Module> FindSameTag(const TagIndex& index, const std::string& id,
                                  const Tag& candidate) const;
    // False when the module could not be made; `created` arrives empty.
    bool CreateCompleted(const Steps& steps, const SharedPtr<Tag>& candidate,
                         SharedPtr<Module>& created);
    void SettleNotRediscovered(bool publish, const Found& found);
    void PublishFound(const Found& found);

    // Fixed at construction.
    const ListTexts texts;

    // Guarded by the owner's handle lock.
    std::vector<SharedPtr<Module>> all;
    uint32_t nr_published = 0;
};

}  // namespace GenTLCore
