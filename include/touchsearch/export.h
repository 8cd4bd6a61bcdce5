#pragma once

// Marks what libtouchsearch-host exports. The library is built with hidden
// visibility, so a class or function of these headers leaves it only when marked.
#define TOUCHSEARCH_HOST_EXPORT __attribute__((visibility("default")))
