#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/jpeg/jpeg_library.h"
#include "support/byte_block.h"

namespace tolvane {

// Memory for libjpeg's whole-image coefficient arrays, which a multi-scan
// (progressive) file needs: two bytes for every coefficient of the image.
// libjpeg's own memory manager takes them from malloc and zeroes them block
// row by block row, so a large photograph costs tens of thousands of page
// faults before its first scan is read. These arrays instead come zeroed
// from the system, in huge pages where it has them.
//
// The arrays realised together share one block, so that they round up to
// whole huge pages once, not each.
//
// Installed on one decompressor after it is created and before
// jpeg_start_decompress: it takes over the manager's block-array methods and
// its client_data. The arrays obey the manager's rules (image pool only,
// realised together, the work-memory limit, the access checks) and are
// freed with libjpeg's image pool or with this object, whichever is first.
class JpegBlockArrays {
 public:
  explicit JpegBlockArrays(jpeg_decompress_struct& info);
  ~JpegBlockArrays();
  JpegBlockArrays(const JpegBlockArrays&) = delete;
  JpegBlockArrays& operator=(const JpegBlockArrays&) = delete;

  // From now on only the final output pass reads the arrays, each from the
  // top down: the rows it has left behind are given back as it goes (see
  // ByteBlock::Discard), so that the coefficients shrink while the image
  // grows. Later reads of those rows would see zeroes.
  void DiscardBehindReads() { discardBehindReads_ = true; }

 private:
  struct Array;

  static JpegBlockArrays& Of(j_common_ptr cinfo);
  static jvirt_barray_ptr Request(j_common_ptr cinfo, int pool, boolean preZero,
                                  JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION maxAccess);
  static void Realize(j_common_ptr cinfo);
  static JBLOCKARRAY Access(j_common_ptr cinfo, jvirt_barray_ptr handle, JDIMENSION startRow,
                            JDIMENSION rowCount, boolean writable);
  static void FreePool(j_common_ptr cinfo, int pool);

  bool Add(JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION maxAccess, bool preZero);
  int RealizeAll(long memoryLimit);
  void DiscardRowsAbove(Array& array, JDIMENSION row);

  void (*libraryRealize_)(j_common_ptr);
  void (*libraryFreePool_)(j_common_ptr, int);
  std::vector<std::unique_ptr<Array>> arrays_;
  std::vector<ByteBlock> blocks_;  // one for each realisation
  bool discardBehindReads_ = false;
};

}  // namespace tolvane
