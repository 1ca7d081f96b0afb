#include "base/messages.h"

#include <mutex>
#include <set>
#include <utility>

namespace tolvek {
namespace {

std::mutex g_records_lock;
std::set<std::pair<UINT, const void*>>& records() {
    static std::set<std::pair<UINT, const void*>> listed;
    return listed;
}

}  // namespace

void list_record(UINT msg, const void* record) {
    const std::lock_guard lock(g_records_lock);
    records().emplace(msg, record);
}

bool unlist_record(UINT msg, const void* record) {
    const std::lock_guard lock(g_records_lock);
    return records().erase({msg, record}) == 1;
}

}  // namespace tolvek
