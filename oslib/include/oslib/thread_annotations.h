// Clang's thread-safety annotations: which lock guards which state, and which functions
// must hold it. A clang build checks them (-Wthread-safety); other compilers ignore them.
#pragma once

#if defined(__clang__)
#define TW_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TW_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) TW_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY TW_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(lock) TW_THREAD_ANNOTATION(guarded_by(lock))
#define REQUIRES(...) TW_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TW_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TW_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
