#pragma once

// Ownership of a libre object. libre counts references to what it allocates
// and frees an object when mem_deref drops the last one; holding such an
// object in a unique_ptr makes the drop automatic and the owner obvious. It
// must still be dropped on the thread that runs libre.

#include <memory>

#include "service/sip_stack/libre.h"

namespace porthold::service::sip {

struct LibreDeref {
    void operator()(void* object) const { mem_deref(object); }
};

template <typename Object>
using LibrePtr = std::unique_ptr<Object, LibreDeref>;

}  // namespace porthold::service::sip
