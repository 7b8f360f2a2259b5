// The public surface of the script engine: preprocessor, compiler and runtime.
//
// One run uses one instance of each, in this order: TPSPreProcessor::Preprocess,
// TPSPascalCompiler::Compile (declarations through its DeclareUnit hook), TPSExec::RegisterNative,
// TPSExec::Load, TPSExec::CallProcedure / RunMainBlock. Natives see their arguments through
// NativeCall (native.h). Failures that leave the engine are ScriptEngineError.
//
// Threading: instances share nothing; each is used by one thread at a time.
#pragma once

#include "scriptengine/compiler.h"
#include "scriptengine/engine_error.h"
#include "scriptengine/exec.h"
#include "scriptengine/native.h"
#include "scriptengine/preprocessor.h"
