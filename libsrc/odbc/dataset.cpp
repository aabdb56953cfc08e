// dataset.cpp -- first cut: entry points in place, bodies follow.

#include "odbc/dataset.h"

namespace { constexpr int32_t kGeneral = 15; }

uint32_t DatasetTypeWidth(int32_t type, uint32_t size) noexcept { return 0; }

int32_t DatasetColumnAlloc(DatasetColumn* col, uint32_t rows) noexcept { return kGeneral; }

void DatasetColumnFree(DatasetColumn* col, uint32_t n) noexcept {  }

int32_t DatasetInit(Dataset* ds, uint16_t columns) noexcept { return kGeneral; }

int32_t DatasetSetRows(Dataset* ds, int32_t rows) noexcept { return kGeneral; }

void DatasetFree(Dataset* ds) noexcept {  }

int32_t DatasetFromColumnInfo(const ColumnInfo* info, uint16_t n, int32_t rows,                                             Dataset* ds) noexcept { return kGeneral; }

int32_t DatasetInsertRow(Dataset* ds, uint32_t index) noexcept { return kGeneral; }

int32_t DatasetCompareRows(const Dataset* a, uint32_t ra, const Dataset* b,                                          uint32_t rb, int32_t* equal) noexcept { return kGeneral; }

int32_t DatasetClone(Dataset** out, const Dataset* src) noexcept { return kGeneral; }

int32_t DatasetCopyRow(Dataset* dst, Dataset* src, uint32_t dr, uint32_t sr,                                      int32_t move) noexcept { return kGeneral; }

int32_t DatasetAppend(Dataset* ds, Dataset* src) noexcept { return kGeneral; }

int32_t DatasetJoin(Dataset* a, Dataset* b) noexcept { return kGeneral; }

int32_t DatasetCloneLayout(Dataset** dst, const Dataset* src, int32_t rows) noexcept { return kGeneral; }

int32_t DatasetReverse(Dataset** ds) noexcept { return kGeneral; }

int32_t DatasetDeleteColumn(Dataset* ds, uint16_t c) noexcept { return kGeneral; }

int32_t DatasetColumnType(const Dataset* ds, uint16_t c, int32_t* type,                                         int32_t* width) noexcept { return kGeneral; }

int32_t DatasetInsertColumn(Dataset* ds, uint16_t i, int32_t type,                                           uint32_t width) noexcept { return kGeneral; }

int32_t DatasetCopyColumn(Dataset* dst, const Dataset* src, uint16_t dc,                                         uint16_t sc) noexcept { return kGeneral; }

int32_t DatasetGetValue(const Dataset* ds, uint32_t r, uint16_t c, void* buf,                                       uint32_t* len) noexcept { return kGeneral; }

int32_t DatasetToAnsi(Dataset* ds) noexcept { return kGeneral; }

int32_t DatasetTruncate(Dataset* ds, uint32_t n) noexcept { return kGeneral; }

void DatasetTestFailAlloc(uint32_t n) noexcept {  }

uint32_t DatasetTestAllocCount() noexcept { return 0; }
