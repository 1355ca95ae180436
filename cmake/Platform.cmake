# What differs between the targets, in one place: how a shared library
# limits its exports, and how a test runs (natively or under an emulator).
if(WIN32)
  set(DCS_SHARED_PREFIX "")
else()
  set(DCS_SHARED_PREFIX "lib")
endif()
