#include "ntx/ntx_index_list.h"

#include <exception>
#include <utility>

#include "os/path.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

NtxIndexList::NtxIndexList(DbfTable& table) : table_(table) { table_.AddListener(*this); }

NtxIndexList::~NtxIndexList() { table_.RemoveListener(*this); }

NtxIndex& NtxIndexList::Add(std::string name) {
  NtxIndexKeeper* const keeper = this;
  items_.push_back(std::make_unique<NtxIndex>(table_, std::move(name), keeper));
  return *items_.back();
}

void NtxIndexList::Delete(int position) {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  const auto at = items_.begin() + position;
  std::unique_ptr<NtxIndex> index = std::move(*at);
  items_.erase(at);
  if (active_ == index.get()) active_ = nullptr;
  index->CloseFile();
}

NtxIndex& NtxIndexList::operator[](int position) {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  return *items_[static_cast<size_t>(position)];
}

bool NtxIndexList::FindKey(const std::vector<Variant>& values) {
  return active_ != nullptr && active_->FindKey(values);
}

void NtxIndexList::TableOpened() {
  for (int i = 0; i < defs_.Count(); ++i) {
    const NtxIndexDef& def = defs_[i];
    NtxIndex* index = nullptr;
    for (int j = 0; j < Count() && index == nullptr; ++j) {
      if ((*this)[j].NTXFileName() == def.path) index = &(*this)[j];
    }
    if (index != nullptr && index->IsFileOpen()) continue;
    if (index == nullptr) {
      index = &Add(def.name);
      index->SetNTXFileName(def.path);
    }
    index->OpenExisting();
  }
  if (active_ != nullptr && active_->IsFileOpen()) active_->First();
}

void NtxIndexList::TableClosing() {
  std::exception_ptr failure;
  for (const auto& index : items_) {
    try {
      index->CloseFile();
    } catch (const TarveloError&) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void NtxIndexList::BuildStarting(const NtxIndex& index) {
  if (active_ == &index) active_ = nullptr;
}

void NtxIndexList::FileMade(const NtxIndex& index) { defs_.Record(index.NTXFileName()); }

void NtxIndexList::BuildEnded(NtxIndex& index) { active_ = &index; }

const NtxIndexDef& NtxIndexDefList::operator[](int position) const {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  return items_[static_cast<size_t>(position)];
}

void NtxIndexDefList::Delete(int position) {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  items_.erase(items_.begin() + position);
}

int NtxIndexDefList::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (SameName(items_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

int NtxIndexDefList::Record(const std::string& path) {
  std::string name = os::FileNameOf(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  const int found = IndexOf(name);
  if (found >= 0) {
    items_[static_cast<size_t>(found)].path = path;
    return found;
  }
  items_.push_back({std::move(name), path});
  return Count() - 1;
}

}  // namespace tarvelo
