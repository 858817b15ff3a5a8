# Counts the heap reports of a Wine log (WINEDEBUG err+heap,warn+sync,+pid):
# prints "SET_ASIDE COUNTED". Set aside, as the tests read the log too
# (tests/unit/test_util.cpp, HeapErrorsIn): what a thread reports after Wine
# let it, ending its process, take the lock of a thread it had killed, which
# is Wine validating the heap that killed thread left half-changed. The page
# heap's reports always count.
/:warn:sync:RtlpWaitForCriticalSection .*is shutting down, returning STATUS_SUCCESS/ {
  split($0, id, ":"); took[id[1] ":" id[2]] = 1; next
}
/:err:heap:/ {
  split($0, id, ":")
  if ((id[1] ":" id[2]) in took && !/:err:heap:guard /) aside++; else counted++
}
END { print aside + 0, counted + 0 }
