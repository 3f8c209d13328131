// IUnknown, class factories, and the reference-counted object base.
//
// Interfaces are abstract C++ classes whose virtual functions are the slots in order; they have
// no virtual destructor (it would add slots) and no data. Each interface names its id as a
// static member `iid`, which lets ComObject answer QueryInterface from its list of bases and
// lets ComPtr::query find the id by type.
//
// Objects are created with a count of 1 (the creator's reference) and delete themselves when
// Release brings the count to 0. Every live ComObject counts in this module's object counter,
// which DllCanUnloadNow and a server's exit decision read.
//
// "This module": every binary that links this layer statically (an executable, or a shared
// library such as an in-process server) has its own copy of the counters, which is what
// DllCanUnloadNow needs.
//
// Thread contract: counts are atomic, so AddRef/Release may come from any thread; everything
// else of an object is the business of the thread that uses it (the main thread, here).
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <tuple>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace platform::com {

struct IUnknown {
    static constexpr IID iid = guid("{00000000-0000-0000-C000-000000000046}");
    // On success stores an AddRef'ed pointer to the interface in *object and returns S_OK;
    // else stores null and returns E_NOINTERFACE (E_POINTER when object is null).
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

  protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    static constexpr IID iid = guid("{00000001-0000-0000-C000-000000000046}");
    // Makes a new object and returns its interface `iid`. Aggregation is not supported:
    // a non-null outer gives CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
    // Keeps the module loaded (in-process) or running (local server) while locked.
    virtual HRESULT LockServer(bool lock) = 0;

  protected:
    ~IClassFactory() = default;
};

// ---------------------------------------------------------------------------------------------
// This module's counters
// ---------------------------------------------------------------------------------------------

// Live ComObjects of this module.
long module_object_count();
// Locks taken with IClassFactory::LockServer (or module_lock) and not yet given back.
long module_lock_count();
void module_lock(bool lock);
// S_OK when the module has no objects and no locks (an in-process server's DllCanUnloadNow),
// else S_FALSE.
HRESULT module_can_unload();

namespace detail {
void count_object(int delta);
}

// ---------------------------------------------------------------------------------------------
// A smart pointer that holds one reference
// ---------------------------------------------------------------------------------------------

template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller owns (no AddRef).
    static ComPtr adopt(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Takes a new reference (AddRef).
    static ComPtr share(T* p) {
        if (p) p->AddRef();
        return adopt(p);
    }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held and returns the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    // QueryInterface for U; an empty pointer when it is not answered.
    template <class U>
    ComPtr<U> query() const {
        ComPtr<U> out;
        if (p_) p_->QueryInterface(U::iid, out.put_void());
        return out;
    }

  private:
    T* p_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// The object base
// ---------------------------------------------------------------------------------------------

// class TFoo : public ComObject<IFoo, IBar> { ... implement IFoo and IBar ... };
// QueryInterface answers IUnknown (through the first interface, the object's identity) and
// each listed interface. A derived class that serves more ids (an interface's base interface,
// say) overrides query_more.
template <class... Interfaces>
class ComObject : public Interfaces... {
    static_assert(sizeof...(Interfaces) > 0);
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  public:
    ComObject() { detail::count_object(+1); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IUnknown::iid) {
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        } else {
            auto offer = [&](void* candidate, const IID& candidate_iid) {
                if (!*object && iid == candidate_iid) *object = candidate;
            };
            (offer(static_cast<Interfaces*>(this), Interfaces::iid), ...);
            if (!*object) *object = query_more(iid);
        }
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release() override {
        const std::uint32_t left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    // This object's IUnknown (its identity), without taking a reference.
    IUnknown* identity() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

  protected:
    virtual ~ComObject() { detail::count_object(-1); }
    // Further ids this object answers; null for none. No AddRef here: QueryInterface does it.
    virtual void* query_more(const IID&) { return nullptr; }

  private:
    std::atomic<std::uint32_t> count_{1};
};

// A class factory that makes `T` with its default constructor. T must be a ComObject.
template <class T>
class ClassFactory final : public ComObject<IClassFactory> {
  public:
    HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        T* made = new (std::nothrow) T();
        if (!made) return E_OUTOFMEMORY;
        const HRESULT hr = made->QueryInterface(iid, object);
        made->Release();
        return hr;
    }
    HRESULT LockServer(bool lock) override {
        module_lock(lock);
        return S_OK;
    }
};

// A new ClassFactory<T> with one reference held by the result.
template <class T>
ComPtr<IClassFactory> make_class_factory() {
    return ComPtr<IClassFactory>::adopt(new ClassFactory<T>());
}

}  // namespace platform::com
