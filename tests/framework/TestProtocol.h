// What the framework's test plug-in and its tests agree on. The plug-in
// reports every operation the dispatcher reaches through a host callback
// call with opcode kReport (index: the event, value/ptr/opt: its argument),
// and takes commands as setParameter(kCommandIndex, command).
#pragma once

#include <cstdint>

#include "AEffect.h"

namespace testplugin {

constexpr std::int32_t kParameterCount = 6;
constexpr std::int32_t kProgramCount = 3;
constexpr std::int32_t kReport = fourCharCode('T', 's', 't', 'R');

enum Event : std::int32_t {
    kConstructed = 1,
    kOpen,
    kClose,
    kResume,
    kSuspend,
    kSetProgram,      // value: the number
    kSetProgramName,  // ptr: the text
    kSetSampleRate,   // opt: the rate
    kSetBlockSize,    // value: the size
    kGetProgram,
    kGetProgramName,
    kGetParameterLabel,  // value: the index
    kGetParameterDisplay,
    kGetParameterName,
    kGetVu,
    kEditorGetRect,  // ptr: the host's pointer
    kEditorOpen,
    kEditorClose,
    kEditorIdle,
    kEffectDestroyed,  // from the test effect's own destructor
    kEditorDestroyed,  // from the editor's destructor, run by the base destructor
    kAnswer,           // value: the host's answer to the last host-call command
};

// Parameters 0 to 4 are shown by getParameterDisplay through one display
// helper each; parameter 5 is the level getVu answers after kVuFromParameter.
enum Parameter : std::int32_t {
    kFloat2string = 0,
    kLong2string = 1,  // the value rounded to an integer
    kDB2string = 2,
    kHz2string = 3,
    kMs2string = 4,
    kVuLevel = 5,
};

constexpr std::int32_t kCommandIndex = 100;
enum Command : std::int32_t {
    kAttachEditor = 1,  // setEditor(new editor)
    kDetachEditor,      // setEditor(nullptr), then deletes the editor itself
    kHasClipOff = 10,
    kHasClipOn,
    kHasVuOff,
    kHasVuOn,
    kCanMonoOff,
    kCanMonoOn,
    kCanReplacingOff,
    kCanReplacingOn,
    kIdFiveChars = 20,  // setUniqueID("ABCDE")
    kIdFourChars,       // "ABCD"
    kIdTwoChars,        // "Ab"
    kIdEmpty,           // ""
    kIdHighChars,       // "\xFF" "zz" "\x80"
    kIdNumber,          // setUniqueID(-2)
    kAutomate = 30,     // setParameterAutomated(1, 0.75f)
    kAskMasterVersion,  // each host call reports kAnswer with the answer
    kAskCurrentUniqueId,
    kMasterIdle,
    kAskInputConnected,   // isInputConnected(3)
    kAskOutputConnected,  // isOutputConnected(5)
    kAskSampleRate,       // reports kAnswer with opt = getSampleRate()
    kAskBlockSize,        // reports kAnswer with value = getBlockSize()
    kVuFromParameter = 40,
};

// The editor's answers.
constexpr std::int32_t kEditorRectAnswer = 11;
constexpr std::int32_t kEditorOpenAnswer = 22;

}  // namespace testplugin
