// A small VST 2 host library: loads a plug-in file, creates instances
// through its entry point, answers their host callbacks and offers typed
// helpers around the dispatcher. Tests and tools drive plug-ins through it.
//
// Failures (missing file, not a shared library, no entry point, null from
// the entry point, bad magic) are reported as velmora::host::HostError with
// a one-line message; nothing here crashes on a bad plug-in file.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AEffect.h"

namespace velmora::host {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One host callback call as the plug-in made it.
struct HostCall {
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// A loaded plug-in file (dlopen with RTLD_NOW | RTLD_LOCAL; LoadLibrary on
// Windows). Shared by the instances made from it; unloaded when the last
// one is gone.
class PluginLibrary {
public:
    using EntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

    // Throws HostError when the file is missing, is not a shared library or
    // has neither `main` nor `VSTPluginMain` of its own (one that only a
    // library it depends on exports does not count). A path without a
    // directory names a file in the current directory, never one on the
    // library search path.
    static std::shared_ptr<PluginLibrary> open(const std::string& path);
    ~PluginLibrary();

    const std::string& path() const noexcept { return path_; }
    EntryProc entry() const noexcept { return entry_; }
    const std::string& entryName() const noexcept { return entryName_; }
    // Address of a symbol that this file itself exports, or null.
    void* symbol(const std::string& name) const noexcept;

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

private:
    PluginLibrary(std::string path, void* handle, EntryProc entry, std::string entryName);
    std::string path_;
    void* handle_;
    EntryProc entry_;
    std::string entryName_;
};

struct InstanceOptions {
    // The answer to audioMasterVersion (opcode 1); 0 makes our plug-ins refuse.
    VstIntPtr versionAnswer = 2400;
    // The answer to audioMasterPinConnected (opcode 4).
    VstIntPtr pinConnectedAnswer = 0;
};

// One effect instance: the record that the entry point returned, plus this
// instance's own callback state (the calls it received).
//
// Threads: the plug-in may call back from any thread, and instances may be
// created on several threads at once; hostCalls() may be read from any
// thread. One instance's own calls (dispatch, process, close ...) come from
// one thread at a time, as a host makes them.
class PluginInstance {
public:
    // Calls the entry point; throws HostError when it returns null or a
    // record without the VST magic.
    static std::unique_ptr<PluginInstance> create(const std::shared_ptr<PluginLibrary>& library,
                                                  InstanceOptions options = {});
    // Shorthand: open the file and create one instance.
    static std::unique_ptr<PluginInstance> load(const std::string& path, InstanceOptions options = {});

    // Sends effClose if the instance is still open.
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* effect() const noexcept { return effect_; }
    bool isOpen() const noexcept { return effect_ != nullptr; }
    const PluginLibrary& library() const noexcept { return *library_; }

    // Raw dispatcher call. Throws HostError after close.
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    // Record fields.
    std::int32_t uniqueId() const;
    std::string uniqueIdText() const;  // four characters, non-printables as '?'
    std::int32_t numParams() const;
    std::int32_t numPrograms() const;
    std::int32_t numInputs() const;
    std::int32_t numOutputs() const;
    std::int32_t flags() const;
    std::int32_t version() const;
    bool canReplacing() const;

    // Typed dispatcher helpers. Text getters use a buffer of 256 bytes that
    // starts zeroed and return the text up to the first zero byte.
    void open();
    std::string parameterName(std::int32_t index);
    std::string parameterLabel(std::int32_t index);
    std::string parameterDisplay(std::int32_t index);
    std::string programName();
    void setProgramName(const std::string& name);
    std::int32_t program();
    void setProgram(std::int32_t program);
    void setSampleRate(float rate);
    void setBlockSize(std::int32_t frames);
    void suspend();  // effMainsChanged 0
    void resume();   // effMainsChanged 1

    // Direct record entries.
    void setParameter(std::int32_t index, float value);
    float getParameter(std::int32_t index);
    void process(float** inputs, float** outputs, std::int32_t frames);
    void processReplacing(float** inputs, float** outputs, std::int32_t frames);
    // Stereo convenience: two input and two output channel pointers.
    void processReplacing(float* inL, float* inR, float* outL, float* outR, std::int32_t frames);
    void process(float* inL, float* inR, float* outL, float* outR, std::int32_t frames);

    // Sends effClose and returns its answer (1 for a well-behaved plug-in).
    // The record is dead afterwards.
    VstIntPtr close();

    // The host callback calls this instance received, oldest first,
    // including the version query made during the entry point.
    std::vector<HostCall> hostCalls() const;

private:
    PluginInstance(std::shared_ptr<PluginLibrary> library, InstanceOptions options);
    void requireOpen() const;
    std::string readText(std::int32_t opcode, std::int32_t index);

    struct CallbackState;
    std::shared_ptr<PluginLibrary> library_;
    std::unique_ptr<CallbackState> state_;
    AEffect* effect_ = nullptr;
};

}  // namespace velmora::host
