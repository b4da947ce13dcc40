#pragma once
// A counted borrow of one DataSource from the SourceManager; while any exists, the manager
// refuses to remove the source.

#include "datasource/data_source.h"
#include "platform/counted_handle.h"

namespace tg {

using SourceHandle = CountedHandle<DataSource>;

}  // namespace tg
