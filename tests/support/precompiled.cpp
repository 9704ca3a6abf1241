// Only here so that the tests' shared precompiled header has a target to live in.
