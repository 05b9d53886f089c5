#pragma once

#include <map>
#include <string>

#include "tag-counts.h"
#include "trackableobject.h"
#include "unassociated-trackable-objects.h"

namespace ozra {

// Unassociated tags count as OOSYNC, as they are reported to the server.
CTagCounts CountTags(const std::map<std::string, CTrackableObject>& objects,
                     const CUnassociatedTrackableObjects& unassociated);

// "1,204 tags: 1,180 UPDATED, 12 OUTDATED, 3 IN_PROCESS, 9 OOSYNC", with ", n UNKNOWN" added while tags
// await their first verification.
std::string TagSummary(const CTagCounts& counts);

// The count in decimal with a comma between groups of three digits.
std::string GroupedCount(std::size_t count);

}  // namespace ozra
