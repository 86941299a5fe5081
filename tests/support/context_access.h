// Test access to the context behind a handle, and a handle that frees its
// context at the end of a test.
#pragma once

#include "context/context.h"
#include "voved32.h"

namespace voved::test {

inline QVContext* ContextOf(QVHandle& handle) {
    return static_cast<QVContext*>(handle.block);
}

// A context allocated for one test and freed when the test ends (unless the
// test freed or merged it itself).
class ScopedContext {
  public:
    ScopedContext() { allocResult_ = QVAlloc(&handle_); }
    ~ScopedContext() {
        if (handle_.block != nullptr) {
            QVFree(&handle_);  // also releases an open conversion's buffers
        }
    }
    ScopedContext(const ScopedContext&) = delete;
    ScopedContext& operator=(const ScopedContext&) = delete;

    QVHandle* handle() { return &handle_; }
    QVContext* operator->() { return ContextOf(handle_); }
    QVContext& context() { return *ContextOf(handle_); }
    QVResult allocResult() const { return allocResult_; }

  private:
    QVHandle handle_{};
    QVResult allocResult_ = QV_RESULT_OK;
};

}  // namespace voved::test
