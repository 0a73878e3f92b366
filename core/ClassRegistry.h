#pragma once
// The device-class and unit-class registries: at most 32 classes each, in the
// order they were registered, found by exact name and able to create an
// object of the class.
#include <array>
#include <cstddef>
#include <memory>
#include <string_view>

class CDevice;
class CMpu;

template <class Base>
class CClassRegistry {
public:
    static constexpr int kCapacity = 32;
    using Factory = std::unique_ptr<Base> (*)();

    struct SClass {
        std::string_view name;
        Factory create = nullptr;
    };

    // Adds a class to the first free entry; false when a class of that name is
    // present or the table is full.
    bool Add(std::string_view name, Factory create) {
        if (!create || FindByName(name) || m_count >= kCapacity) return false;
        m_classes[m_count++] = SClass{name, create};
        return true;
    }
    const SClass* FindByName(std::string_view name) const {
        for (int i = 0; i < m_count; ++i) {
            if (m_classes[i].name == name) return &m_classes[i];
        }
        return nullptr;
    }
    std::unique_ptr<Base> Create(std::string_view name) const {
        const SClass* found = FindByName(name);
        return found ? found->create() : nullptr;
    }
    int GetCount() const { return m_count; }
    const SClass& GetAt(int index) const { return m_classes[index]; }
    void Clear() { m_count = 0; }

    template <class Derived>
    bool Add() {
        return Add(Derived::kClassName, [] { return std::unique_ptr<Base>(new Derived()); });
    }

private:
    std::array<SClass, kCapacity> m_classes{};
    int m_count = 0;
};

// The application's registries.
CClassRegistry<CDevice>& DeviceClasses();
CClassRegistry<CMpu>& UnitClasses();
