#!/usr/bin/env bash
# test_install_deps.sh - what scripts/install-deps.sh asks apt for, and when
# it leaves 32-bit out, with stand-ins for apt-get, apt-cache, dpkg and sudo
# first on PATH: no root, no network, no waiting, and nothing written
# outside a scratch folder. The tools are four stand-in checks, two of them
# the 32-bit ones, met by what the stand-in apt-get has "installed".
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-deps.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
echo 'VERSION_CODENAME=bookworm' >"$work/os-release"
refusal='E: Unable to correct problems, you have held broken packages.'

# apt-get writes one word a call to $T_STATE/calls: update, or install with
# -t=SUITE when it names one and +32 when it asks for a 32-bit package; !lock
# when it would not wait for the lock. T_REFUSE: none; mixed, a call that
# asks for a 32-bit package without -t (the two architectures a version
# apart); 32bit, any call that asks for one. T_UPDATE=fails fails updates.
cat >"$work/bin/apt-get" <<EOF
#!/bin/bash
word=\$1 suite="" ask32=0 lock=0 names=()
shift
while [ \$# -gt 0 ]; do
  case \$1 in
    -o) [ "\$2" = DPkg::Lock::Timeout=120 ] && lock=1; shift ;;
    -t) suite=\$2; shift ;;
    -*) ;;
    *) names+=("\$1"); case \$1 in wine32* | *:i386) ask32=1 ;; esac ;;
  esac
  shift
done
[ -n "\$suite" ] && word+="-t=\$suite"
[ \$ask32 = 1 ] && word+=+32
[ \$lock = 1 ] || word+='!lock'
echo "\$word" >>"\$T_STATE/calls"
if [ "\$word" = update ]; then
  [ "\$T_UPDATE" = fails ] || exit 0
  echo 'E: Failed to fetch ... File has unexpected size (1 != 2). Mirror sync in progress?'
  exit 100
fi
if [ \$ask32 = 1 ] && { [ "\$T_REFUSE" = 32bit ] || { [ "\$T_REFUSE" = mixed ] && [ -z "\$suite" ]; }; }; then
  echo '$refusal'
  exit 100
fi
for name in "\${names[@]}"; do : >"\$T_STATE/installed/\$name"; done
EOF
printf '#!/bin/sh\necho "  Candidate: 1.0"\n' >"$work/bin/apt-cache"
printf '#!/bin/sh\ncase $1 in --print-architecture) echo amd64 ;; *) echo i386 ;; esac\n' >"$work/bin/dpkg"
printf '#!/bin/sh\n[ "$1" = -n ] && shift\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
# The real apt must be out of reach, above all when this runs as root.
for tool in apt-get apt-cache dpkg sudo; do
  [ "$(PATH=$work/bin:$PATH command -v $tool)" = "$work/bin/$tool" ] ||
    { echo "FAIL: the stand-in $tool is not the one on PATH"; exit 1; }
done

trim() { local v=${1#"${1%%[! ]*}"}; printf '%s' "${v%"${v##*[! ]}"}"; }

# installed before | 32-bit out before | apt refuses | update | VELMAR_RETRY_32BIT |
# calls to apt-get | 32-bit out after | a line the output has once
cases="
everything present    |cmake wine64 wine32:i386 libcups2:i386|no |none |works|0|
                                                             |no |
release suite helps   |                                      |no |mixed|works|0|
  update install+32 install-t=bookworm+32                    |no |every package from bookworm itself
64-bit set alone      |                                      |no |32bit|works|0|
  update install+32 install-t=bookworm+32 install            |yes|32-bit packages.*held broken packages.*32-bit is out
update fails          |wine64 wine32:i386 libcups2:i386      |no |none |fails|0|
  update update install                                      |no |trying with the lists there are
second run, 32-bit out|cmake wine64                          |yes|32bit|works|0|
                                                             |yes|
asked to retry 32-bit |cmake wine64                          |yes|none |works|1|
  update install+32                                          |no |installing wine32:i386 libcups2:i386
"

failures=0 count=0
while IFS='|' read -r name installed before refuse update retry; do
  name=$(trim "$name")
  [ -n "$name" ] || continue
  IFS='|' read -r calls after says
  count=$((count + 1))
  rm -rf "$work/state" "$work/decision"
  mkdir -p "$work/state/installed"
  : >"$work/state/calls"
  for package in $installed; do : >"$work/state/installed/$package"; done
  [ "$(trim "$before")" = no ] || echo "$refusal" >"$work/decision"
  (
    export PATH="$work/bin:$PATH" T_STATE=$work/state T_REFUSE=$(trim "$refuse") T_UPDATE=$(trim "$update")
    export VELMAR_32BIT_DECISION=$work/decision VELMAR_APT_RETRY_WAIT=0 VELMAR_OS_RELEASE=$work/os-release
    export VELMAR_RETRY_32BIT=$retry
    unset velmar_32bit_answer velmar_32bit_why VELMAR_NO_32BIT VELMAR_NO_INSTALL
    . "$root/scripts/install-deps.sh"
    have() { [ -e "$T_STATE/installed/$1" ]; }
    check_tools() { need 'have cmake' cmake; need 'have wine64' wine64; }
    check_32bit() { need 'have wine32:i386' wine32:i386; need 'have libcups2:i386' 'libcups2:i386|libcups2t64:i386'; }
    velmar_probe_32bit() { :; }
    ru_locale() { :; }
    install_deps_main
  ) </dev/null >"$work/out" 2>&1
  rc=$?
  problems=()
  [ $rc -eq 0 ] || problems+=("exit status $rc")
  got=$(trim "$(tr '\n' ' ' <"$work/state/calls")")
  [ "$got" = "$(trim "$calls")" ] || problems+=("apt-get calls: '$got', not '$(trim "$calls")'")
  if [ "$(trim "$after")" = yes ]; then
    why=$(unset velmar_32bit_answer VELMAR_NO_32BIT; export VELMAR_32BIT_DECISION=$work/decision
          . "$root/scripts/machine.sh"; velmar_probe_32bit() { :; }
          velmar_runs_32bit || echo "$VELMAR_NO_32BIT_REASON")
    [[ $why == "the 32-bit packages could not be installed ($refusal);"* ]] ||
      problems+=("32-bit should be out for the packages, but machine.sh says: '${why:-it runs 32-bit}'")
  elif [ -e "$work/decision" ]; then
    problems+=("32-bit is left out: $(cat "$work/decision")")
  fi
  says=$(trim "$says")
  if [ -n "$says" ] && [ "$(grep -cE -- "$says" "$work/out")" != 1 ]; then
    problems+=("the output has no line, or more than one, matching '$says'")
  fi
  if [ ${#problems[@]} -gt 0 ]; then
    failures=$((failures + 1))
    echo "FAIL: $name"
    printf '  %s\n' "${problems[@]}"
    sed 's/^/  | /' "$work/out"
  fi
done <<<"$cases"

echo "install-deps: $((count - failures)) of $count cases as expected"
[ $failures -eq 0 ] && [ $count -eq 6 ]
