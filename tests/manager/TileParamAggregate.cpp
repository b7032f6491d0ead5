// Compiled as C++20 only: the build fails when TileParam stops being an aggregate.
#include <stagehand/RenderWindowManager.h>

#include <type_traits>

static_assert(std::is_aggregate_v<stagehand::RenderWindowManager::TileParam>);
[[maybe_unused]] static const stagehand::RenderWindowManager::TileParam kGrid = {2, 3};
