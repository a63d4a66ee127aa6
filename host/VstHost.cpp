// The host library. Each instance has its own callback state; the one host
// callback that every plug-in receives routes a call to the state of the
// instance that made it: by the record pointer once the instance exists,
// and, while the entry point runs (when the plug-in has no record yet and
// passes a null effect), to the instance being created on this thread.
#include "VstHost.h"

#include "DynamicLibrary.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace velmora::host {

namespace {

std::string hex32(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(value)));
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// PluginLibrary

PluginLibrary::PluginLibrary(std::string path, void* handle, EntryProc entry, std::string entryName)
    : path_(std::move(path)), handle_(handle), entry_(entry), entryName_(std::move(entryName)) {}

PluginLibrary::~PluginLibrary() { dynlib::unload(handle_); }

std::shared_ptr<PluginLibrary> PluginLibrary::open(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) throw HostError("cannot load a plug-in: the path is empty");
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) throw HostError(path + ": file not found");
    if (fs::is_directory(status)) throw HostError(path + ": is a directory, not a plug-in file");

    std::string reason;
    void* handle = dynlib::load(path, reason);
    if (handle == nullptr) {
        throw HostError(path + ": not a loadable shared library (" + reason + ")");
    }

    for (const char* name : {"main", "VSTPluginMain"}) {
        if (void* address = dynlib::ownSymbol(handle, name)) {
            auto entry = reinterpret_cast<EntryProc>(address);
            return std::shared_ptr<PluginLibrary>(new PluginLibrary(path, handle, entry, name));
        }
    }
    dynlib::unload(handle);
    throw HostError(path + ": no entry point (exports neither 'main' nor 'VSTPluginMain')");
}

void* PluginLibrary::symbol(const std::string& name) const noexcept { return dynlib::ownSymbol(handle_, name.c_str()); }

// ---------------------------------------------------------------------------
// Callback state and routing

struct PluginInstance::CallbackState {
    explicit CallbackState(InstanceOptions o) : options(o) {}

    InstanceOptions options;
    std::vector<HostCall> calls;  // guarded by `mutex`
    bool closing = false;         // guarded by `mutex`; effClose sent or being sent

    // Routes one host callback call; the plug-in may call from any thread.
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                          void* ptr, float opt) noexcept;

    static std::mutex mutex;
    static std::unordered_map<AEffect*, CallbackState*> registry;  // guarded by `mutex`
    static thread_local CallbackState* creating;
};

std::mutex PluginInstance::CallbackState::mutex;
std::unordered_map<AEffect*, PluginInstance::CallbackState*> PluginInstance::CallbackState::registry;
thread_local PluginInstance::CallbackState* PluginInstance::CallbackState::creating = nullptr;

VstIntPtr VSTCALLBACK PluginInstance::CallbackState::callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                                              VstIntPtr value, void* ptr, float opt) noexcept {
    std::lock_guard lock(mutex);
    CallbackState* state = nullptr;
    if (effect != nullptr) {
        auto found = registry.find(effect);
        if (found != registry.end()) state = found->second;
    }
    // The record is not registered until the entry point has returned it.
    if (state == nullptr) state = creating;

    // Calls that belong to no instance of ours get the default answers.
    const InstanceOptions options = state != nullptr ? state->options : InstanceOptions{};
    if (state != nullptr) {
        try {
            state->calls.push_back(HostCall{opcode, index, value, ptr, opt});
        } catch (...) {  // NOLINT(bugprone-empty-catch): a host callback must answer, whatever happens
            // Out of memory: the call goes unrecorded, the plug-in still gets its answer.
        }
    }
    switch (opcode) {
        case audioMasterVersion: return options.versionAnswer;
        case audioMasterPinConnected: return options.pinConnectedAnswer;
        default: return 0;
    }
}

namespace {

// Marks the instance being created on this thread for the entry point call.
template <typename State>
class CreatingScope {
public:
    CreatingScope(State*& slot, State* state) : slot_(slot), previous_(slot) { slot_ = state; }
    ~CreatingScope() { slot_ = previous_; }
    CreatingScope(const CreatingScope&) = delete;
    CreatingScope& operator=(const CreatingScope&) = delete;

private:
    State*& slot_;
    State* previous_;
};

}  // namespace

// ---------------------------------------------------------------------------
// PluginInstance

PluginInstance::PluginInstance(std::shared_ptr<PluginLibrary> library, InstanceOptions options)
    : library_(std::move(library)), state_(std::make_unique<CallbackState>(options)) {}

std::unique_ptr<PluginInstance> PluginInstance::create(const std::shared_ptr<PluginLibrary>& library,
                                                       InstanceOptions options) {
    if (!library) throw HostError("cannot create a plug-in instance: no library given");
    std::unique_ptr<PluginInstance> instance(new PluginInstance(library, options));
    CallbackState* state = instance->state_.get();
    const std::string& path = library->path();

    AEffect* effect = nullptr;
    {
        CreatingScope scope(CallbackState::creating, state);
        try {
            effect = library->entry()(&CallbackState::callback);
        } catch (...) {
            throw HostError(path + ": the entry point '" + library->entryName() + "' threw an exception");
        }
    }
    if (effect == nullptr) {
        throw HostError(path + ": the entry point '" + library->entryName() + "' returned no effect");
    }
    // A record with the wrong magic is not touched again: its function
    // pointers cannot be trusted, so it is not even closed.
    if (effect->magic != kEffectMagic) {
        throw HostError(path + ": the entry point returned a record with bad magic " + hex32(effect->magic) +
                        " (expected " + hex32(kEffectMagic) + ")");
    }
    {
        std::lock_guard lock(CallbackState::mutex);
        auto [slot, inserted] = CallbackState::registry.try_emplace(effect, state);
        if (!inserted) {
            // An instance being closed on another thread may still hold the
            // address that the plug-in has just reused for this one.
            if (!slot->second->closing) {
                throw HostError(path + ": the entry point returned a record that another instance uses");
            }
            slot->second = state;
        }
    }
    instance->effect_ = effect;
    return instance;
}

std::unique_ptr<PluginInstance> PluginInstance::load(const std::string& path, InstanceOptions options) {
    return create(PluginLibrary::open(path), options);
}

PluginInstance::~PluginInstance() {
    if (effect_ != nullptr) {
        try {
            close();
        } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor must not throw
            // Nothing can be reported from a destructor.
        }
    }
}

void PluginInstance::requireOpen() const {
    if (effect_ == nullptr) throw HostError(library_->path() + ": the instance is closed");
}

VstIntPtr PluginInstance::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt) {
    requireOpen();
    if (effect_->dispatcher == nullptr) throw HostError(library_->path() + ": the record has no dispatcher");
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

VstIntPtr PluginInstance::close() {
    requireOpen();
    AEffect* effect = effect_;
    {
        std::lock_guard lock(CallbackState::mutex);
        state_->closing = true;
    }
    // Calls the plug-in makes while closing are still recorded.
    const VstIntPtr answer =
        effect->dispatcher != nullptr ? effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f) : 0;
    {
        std::lock_guard lock(CallbackState::mutex);
        auto found = CallbackState::registry.find(effect);
        if (found != CallbackState::registry.end() && found->second == state_.get()) {
            CallbackState::registry.erase(found);
        }
    }
    effect_ = nullptr;
    return answer;
}

std::vector<HostCall> PluginInstance::hostCalls() const {
    std::lock_guard lock(CallbackState::mutex);
    return state_->calls;
}

// Record fields.

std::int32_t PluginInstance::uniqueId() const {
    requireOpen();
    return effect_->uniqueID;
}

std::string PluginInstance::uniqueIdText() const {
    const auto id = static_cast<std::uint32_t>(uniqueId());
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((id >> shift) & 0xFFu);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return text;
}

std::int32_t PluginInstance::numParams() const {
    requireOpen();
    return effect_->numParams;
}

std::int32_t PluginInstance::numPrograms() const {
    requireOpen();
    return effect_->numPrograms;
}

std::int32_t PluginInstance::numInputs() const {
    requireOpen();
    return effect_->numInputs;
}

std::int32_t PluginInstance::numOutputs() const {
    requireOpen();
    return effect_->numOutputs;
}

std::int32_t PluginInstance::flags() const {
    requireOpen();
    return effect_->flags;
}

std::int32_t PluginInstance::version() const {
    requireOpen();
    return effect_->version;
}

bool PluginInstance::canReplacing() const { return (flags() & effFlagsCanReplacing) != 0; }

// Dispatcher helpers.

void PluginInstance::open() { dispatch(effOpen); }

std::string PluginInstance::readText(std::int32_t opcode, std::int32_t index) {
    std::array<char, 256> buffer{};
    dispatch(opcode, index, 0, buffer.data());
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

std::string PluginInstance::parameterName(std::int32_t index) { return readText(effGetParamName, index); }

std::string PluginInstance::parameterLabel(std::int32_t index) { return readText(effGetParamLabel, index); }

std::string PluginInstance::parameterDisplay(std::int32_t index) { return readText(effGetParamDisplay, index); }

std::string PluginInstance::programName() { return readText(effGetProgramName, 0); }

void PluginInstance::setProgramName(const std::string& name) {
    // A private zero-terminated copy: the plug-in gets a buffer it may read
    // up to the terminator, whatever the string holds.
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    dispatch(effSetProgramName, 0, 0, text.data());
}

std::int32_t PluginInstance::program() { return static_cast<std::int32_t>(dispatch(effGetProgram)); }

void PluginInstance::setProgram(std::int32_t program) { dispatch(effSetProgram, 0, program); }

void PluginInstance::setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }

void PluginInstance::setBlockSize(std::int32_t frames) { dispatch(effSetBlockSize, 0, frames); }

void PluginInstance::suspend() { dispatch(effMainsChanged, 0, 0); }

void PluginInstance::resume() { dispatch(effMainsChanged, 0, 1); }

// Direct record entries.

void PluginInstance::setParameter(std::int32_t index, float value) {
    requireOpen();
    if (effect_->setParameter == nullptr) throw HostError(library_->path() + ": the record has no setParameter");
    effect_->setParameter(effect_, index, value);
}

float PluginInstance::getParameter(std::int32_t index) {
    requireOpen();
    if (effect_->getParameter == nullptr) throw HostError(library_->path() + ": the record has no getParameter");
    return effect_->getParameter(effect_, index);
}

void PluginInstance::process(float** inputs, float** outputs, std::int32_t frames) {
    requireOpen();
    if (effect_->process == nullptr) throw HostError(library_->path() + ": the record has no process");
    effect_->process(effect_, inputs, outputs, frames);
}

void PluginInstance::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    requireOpen();
    if (effect_->processReplacing == nullptr) {
        throw HostError(library_->path() + ": the record has no processReplacing");
    }
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

void PluginInstance::processReplacing(float* inL, float* inR, float* outL, float* outR, std::int32_t frames) {
    float* inputs[2] = {inL, inR};
    float* outputs[2] = {outL, outR};
    processReplacing(inputs, outputs, frames);
}

void PluginInstance::process(float* inL, float* inR, float* outL, float* outR, std::int32_t frames) {
    float* inputs[2] = {inL, inR};
    float* outputs[2] = {outL, outR};
    process(inputs, outputs, frames);
}

}  // namespace velmora::host
