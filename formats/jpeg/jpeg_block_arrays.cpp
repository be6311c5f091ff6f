#include "formats/jpeg/jpeg_block_arrays.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace tolvane {

namespace {

// libjpeg's way out of a callback: error_exit jumps back to the guard around
// the libjpeg call, so nothing with a destructor may be alive here.
[[noreturn]] void Fail(j_common_ptr cinfo, int code) {
  cinfo->err->msg_code = code;
  (*cinfo->err->error_exit)(cinfo);
  std::abort();  // error_exit never returns
}

}  // namespace

struct JpegBlockArrays::Array {
  JDIMENSION blocksPerRow = 0;
  JDIMENSION rows = 0;
  JDIMENSION maxAccess = 0;
  bool preZero = false;
  // Rows below this one have been written (or zeroed); see Access.
  JDIMENSION firstUndefinedRow = 0;
  // The bytes of the block before this have been discarded; see
  // DiscardBehindReads.
  std::size_t discardedTo = 0;
  bool realized = false;
  // Where the blocks are: in blocks_[block], from byte `offset` on.
  std::size_t block = 0;
  std::size_t offset = 0;
  std::vector<JBLOCKROW> rowPointers;
};

JpegBlockArrays::JpegBlockArrays(jpeg_decompress_struct& info)
    : libraryRealize_(info.mem->realize_virt_arrays), libraryFreePool_(info.mem->free_pool) {
  info.client_data = this;
  info.mem->request_virt_barray = Request;
  info.mem->realize_virt_arrays = Realize;
  info.mem->access_virt_barray = Access;
  info.mem->free_pool = FreePool;
}

JpegBlockArrays::~JpegBlockArrays() = default;

JpegBlockArrays& JpegBlockArrays::Of(j_common_ptr cinfo) {
  return *static_cast<JpegBlockArrays*>(cinfo->client_data);
}

bool JpegBlockArrays::Add(JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION maxAccess,
                          bool preZero) {
  try {
    auto array = std::make_unique<Array>();
    array->blocksPerRow = blocksPerRow;
    array->rows = rows;
    array->maxAccess = maxAccess;
    array->preZero = preZero;
    arrays_.push_back(std::move(array));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

jvirt_barray_ptr JpegBlockArrays::Request(j_common_ptr cinfo, int pool, boolean preZero,
                                          JDIMENSION blocksPerRow, JDIMENSION rows,
                                          JDIMENSION maxAccess) {
  // Virtual arrays live in the image pool only, as in libjpeg's manager.
  if (pool != JPOOL_IMAGE) Fail(cinfo, JERR_BAD_POOL_ID);
  JpegBlockArrays& self = Of(cinfo);
  if (!self.Add(blocksPerRow, rows, maxAccess, preZero != FALSE)) Fail(cinfo, JERR_OUT_OF_MEMORY);
  // The handle is only ever given back to Access, which knows it as an Array.
  return reinterpret_cast<jvirt_barray_ptr>(self.arrays_.back().get());
}

// Gives every array requested since the last call its zeroed blocks; 0 when
// all went well, else the libjpeg error code to fail with.
int JpegBlockArrays::RealizeAll(long memoryLimit) {
  std::uint64_t total = 0;
  for (const auto& array : arrays_) {
    if (array->realized) continue;
    const std::uint64_t bytes = std::uint64_t{array->blocksPerRow} * array->rows * sizeof(JBLOCK);
    if (bytes > std::numeric_limits<std::uint64_t>::max() - total) return JERR_OUT_OF_MEMORY;
    total += bytes;
  }
  // Beyond the limit libjpeg's manager would need a backing store, which it
  // does not have.
  if (memoryLimit > 0 && total > static_cast<std::uint64_t>(memoryLimit))
    return JERR_NO_BACKING_STORE;
  if (total > std::numeric_limits<std::size_t>::max()) return JERR_OUT_OF_MEMORY;
  try {
    blocks_.push_back(ByteBlock::Zeroed(static_cast<std::size_t>(total)));
  } catch (const std::bad_alloc&) {
    return JERR_OUT_OF_MEMORY;
  }
  std::size_t offset = 0;
  for (const auto& array : arrays_) {
    if (array->realized) continue;
    try {
      array->rowPointers.resize(array->rows);
    } catch (const std::bad_alloc&) {
      return JERR_OUT_OF_MEMORY;
    }
    array->block = blocks_.size() - 1;
    array->offset = offset;
    array->discardedTo = offset;
    // Fits: the total of all arrays' bytes was checked against size_t above.
    auto* const first = reinterpret_cast<JBLOCKROW>(blocks_.back().data() + offset);
    for (JDIMENSION row = 0; row < array->rows; ++row) {
      array->rowPointers[row] = first + std::size_t{row} * array->blocksPerRow;
    }
    offset += std::size_t{array->blocksPerRow} * array->rows * sizeof(JBLOCK);
    array->realized = true;
  }
  return 0;
}

void JpegBlockArrays::Realize(j_common_ptr cinfo) {
  JpegBlockArrays& self = Of(cinfo);
  self.libraryRealize_(cinfo);  // the sample arrays stay libjpeg's
  const int failure = self.RealizeAll(cinfo->mem->max_memory_to_use);
  if (failure != 0) Fail(cinfo, failure);
}

JBLOCKARRAY JpegBlockArrays::Access(j_common_ptr cinfo, jvirt_barray_ptr handle,
                                    JDIMENSION startRow, JDIMENSION rowCount, boolean writable) {
  Array& array = *reinterpret_cast<Array*>(handle);
  const std::uint64_t endRow = std::uint64_t{startRow} + rowCount;
  if (endRow > array.rows || rowCount > array.maxAccess || !array.realized) {
    Fail(cinfo, JERR_BAD_VIRTUAL_ACCESS);
  }
  // libjpeg's own rules for rows not yet written: a writer may not skip
  // any, a reader may read ahead only in a pre-zeroed array. The blocks are
  // zero from the start, so nothing needs zeroing here.
  if (array.firstUndefinedRow < endRow) {
    if (array.firstUndefinedRow < startRow && writable) Fail(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    if (!array.preZero && !writable) Fail(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    if (writable) array.firstUndefinedRow = static_cast<JDIMENSION>(endRow);
  }
  JpegBlockArrays& self = Of(cinfo);
  if (self.discardBehindReads_ && !writable) self.DiscardRowsAbove(array, startRow);
  return array.rowPointers.data() + startRow;
}

// The output pass reads the rows in order, each access starting with the
// earliest row it still needs (block smoothing looks up to two block rows
// back): the rows above it are never read again.
void JpegBlockArrays::DiscardRowsAbove(Array& array, JDIMENSION row) {
  const std::size_t end = array.offset + std::size_t{row} * array.blocksPerRow * sizeof(JBLOCK);
  if (end > array.discardedTo)
    array.discardedTo = blocks_[array.block].Discard(array.discardedTo, end);
}

void JpegBlockArrays::FreePool(j_common_ptr cinfo, int pool) {
  JpegBlockArrays& self = Of(cinfo);
  self.libraryFreePool_(cinfo, pool);
  if (pool == JPOOL_IMAGE) {
    self.arrays_.clear();
    self.blocks_.clear();
  }
}

}  // namespace tolvane
