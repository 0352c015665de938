#!/usr/bin/env bash
# Compiler and linker launcher of the Windows build: runs the command with the
# checkout's absolute path turned into its path relative to the build tree
# (where Ninja runs every command). clang records its whole command line in
# the CodeView build records and lld records its own in the PDB, so without
# this two clones in different directories would give different PDBs.
# Definitions (-D...) keep their values: tests use them to find files at run time.
# usage: relative-paths.sh ABSOLUTE_CHECKOUT RELATIVE_CHECKOUT command args...
set -euo pipefail
absolute=$1
relative=$2
shift 2
args=()
for arg in "$@"; do
    case $arg in
        -D*) args+=("$arg") ;;
        *) args+=("${arg//"$absolute/"/"$relative/"}") ;;
    esac
done
exec "${args[@]}"
