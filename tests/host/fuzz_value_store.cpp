// Random sequences of the store's list operations keep its invariants; names
// match whatever their letter case, as the registry's do.
#include <strings.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "settings/value_store.h"

namespace {
class MemoryStore : public CValueStore {
public:
    void SetKeyPath(const char*) override {}
    void SetKeyPath(const CString&) override {}
    bool Load() override { return false; }
    bool Save() override { return false; }
};
bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryStore store;
    std::set<std::pair<std::string, std::string>> model;
    std::string selected;
    std::optional<std::pair<std::string, std::string>> cursor;  // where GetNextValue stopped
    for (size_t i = 0; i + 1 < size; i += 2) {
        std::string name(1, "abcA"[data[i + 1] % 4]);
        std::string value(1, static_cast<char>('0' + (data[i + 1] / 4) % 4));
        CString out;
        unsigned op = data[i] % 8;
        if (op != 5 && op != 6) cursor.reset();
        switch (op) {
        case 0: store.SelectName(name.c_str()); selected = name; break;
        case 1: {
            bool added = store.AddValue(value.c_str());
            bool expected = !selected.empty();
            for (const auto& [n, v] : model) expected = expected && !(SameName(n, selected) && v == value);
            if (added != expected) __builtin_trap();
            if (added) model.insert({selected, value});
            break;
        }
        case 2:
            store.SetValue(value.c_str());
            if (!selected.empty()) {
                bool kept = false;  // the pair that has the value already stays as it is spelt
                for (auto it = model.begin(); it != model.end();) {
                    bool keep = SameName(it->first, selected) && it->second == value && !kept;
                    kept = kept || keep;
                    it = SameName(it->first, selected) && !keep ? model.erase(it) : ++it;
                }
                if (!kept) model.insert({selected, value});
            }
            break;
        case 3: store.RemoveName();
            for (auto it = model.begin(); it != model.end();) it = SameName(it->first, selected) ? model.erase(it) : ++it;
            break;
        case 4: {
            bool has = false;
            for (const auto& [n, v] : model) has = has || (SameName(n, selected) && v == value);
            if (store.HasValue(value.c_str()) != has) __builtin_trap();
            break;
        }
        case 5:
            cursor.reset();
            // A name's values are unique whatever its case: the pair is found as it is spelt.
            if (store.GetNextValue(out))
                for (const auto& pair : model)
                    if (SameName(pair.first, selected) && pair.second == out.c_str()) cursor = pair;
            break;
        case 6:
            if (store.RemoveCurrent() != cursor.has_value()) __builtin_trap();
            if (cursor) model.erase(*cursor);
            cursor.reset();
            break;
        case 7: store.Clear(); model.clear(); break;
        }
    }
    // What the walk yields is exactly the model, each pair once.
    std::set<std::pair<std::string, std::string>> seen;
    CString n, v;
    store.Rewind();
    while (store.GetNextPair(n, v))
        if (!seen.insert({n.c_str(), v.c_str()}).second) __builtin_trap();
    if (seen != model) __builtin_trap();
    return 0;
}
