#!/bin/bash
# The recipes of the README's "Processing many images", run as written
# there (the indented lines after each "<!-- recipe: NAME -->" marker), with
# examples/measure-objects.lsp: GNU parallel on 200 generated images, xargs
# -P, the Slurm array script and the Kubernetes worker on parts of them.
# objects.csv must hold exactly the measurements that numpy and scipy
# compute from the same files (tests/cli/objects_reference.py).
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
. "$HERE/lib.sh"
REFERENCE="/usr/bin/python3 $HERE/objects_reference.py"

# The recipes call tavex-cli by name.
mkdir bin
printf '#!/bin/sh\nexec "%s" "$@"\n' "$CLI" > bin/tavex-cli
chmod +x bin/tavex-cli
export PATH=$WORK/bin:$PATH

recipe() {
  awk -v want="<!-- recipe: $1 -->" '
    $0 == want { on = 1; next }
    on && /^    / { print substr($0, 5); started = 1; next }
    on && started { exit }' "$ROOT/README.md"
}

# setup DIR FILES...: a folder with images/ holding FILES and the script.
setup() {
  local dir=$1; shift
  mkdir -p "$dir/images"
  cp "$@" "$dir/images/"
  cp "$ROOT/examples/measure-objects.lsp" "$dir/"
}

$REFERENCE generate all 200 1601 || exit 1

# GNU parallel, all 200 images.
setup p all/*.pgm
(cd p && bash -e -c "$(recipe parallel)") > p.log 2>&1
expect "parallel: status" 0 "$?"
expect "parallel: nothing printed" "" "$(cat p.log)"
(cd p && $REFERENCE check objects.csv images/*.pgm) || failures=$((failures + 1))

# xargs -P on 30 of them (a name with blanks and quotes among them).
setup x all/img0[0-2]*.pgm all/odd*007*.pgm
(cd x && bash -e -c "$(recipe xargs)") > x.log 2>&1
expect "xargs: status" 0 "$?"
(cd x && $REFERENCE check objects.csv images/*.pgm) || failures=$((failures + 1))

# A broken image fails its job: the command fails, the others are measured
# and the broken one leaves no CSV file.
setup f all/img00[1-3].pgm
head -c 40 all/img004.pgm > f/images/broken.pgm
(cd f && bash -e -c "$(recipe parallel)") > f.log 2>&1
status=$?
[ "$status" -ne 0 ] || expect "broken image: status" "non-zero" "$status"
grep -q "^error: " f.log || expect "broken image: message" "error: ..." "$(cat f.log)"
[ -e f/results/broken.csv ] && expect "broken image: no CSV" "" "f/results/broken.csv"
(cd f && awk 'FNR > 1 || NR == 1' results/*.csv > objects.csv &&
  $REFERENCE check objects.csv images/img*.pgm) || failures=$((failures + 1))

# Slurm: the README's commands with a stand-in for sbatch that runs each
# array task as Slurm does on a node (bash, SLURM_ARRAY_TASK_ID set), one
# after the other, and then the --wrap command.
setup s all/img1[0-2]*.pgm all/odd*107*.pgm
cp "$ROOT/examples/cluster/measure-objects.sbatch" s/
cat > bin/sbatch <<'SH'
#!/bin/bash
array= wrap= script= exports=
while [ $# -gt 0 ]; do
  case $1 in
    --array=*) array=${1#--array=} ;;
    --export=ALL,*) exports=${1#--export=ALL,} ;;
    --parsable|--dependency=*) ;;
    --wrap) wrap=$2; shift ;;
    *) script=$1 ;;
  esac
  shift
done
if [ -n "$wrap" ]; then sh -c "$wrap"; exit; fi
for ((t = ${array%-*}; t <= ${array#*-}; t++)); do
  env $exports SLURM_ARRAY_TASK_ID=$t bash "$script" > "logs/task-$t.out" 2>&1 || echo "$t" >> tasks.failed
done
echo 4242
SH
chmod +x bin/sbatch
(cd s && PER_TASK=4 bash -e -c "PER_TASK=4; $(recipe slurm)") > s.log 2>&1
expect "slurm: status" 0 "$?"
expect "slurm: tasks (30 images, 4 a task)" "8" "$(ls s/logs | wc -l)"
[ -e s/tasks.failed ] && expect "slurm: failed tasks" "" "$(cat s/tasks.failed)"
(cd s && $REFERENCE check objects.csv images/*.pgm) || failures=$((failures + 1))

# Kubernetes: the worker draining a queue, with a stand-in for redis-cli
# that keeps each list in a file of the folder queue/.
setup k all/img15*.pgm
head -c 30 all/img160.pgm > k/images/broken.pgm
mkdir k/queue
(cd k && find images -name '*.pgm' | sort) > k/queue/images
cat > bin/redis-cli <<'SH'
#!/bin/bash
# redis-cli -h HOST [--raw] LPOP|RPUSH LIST [VALUE]
shift 2; [ "$1" = --raw ] && shift
list=$QUEUE/$2
case $1 in
  LPOP) [ -s "$list" ] && head -n 1 "$list" && sed -i 1d "$list"; exit 0 ;;
  RPUSH) printf '%s\n' "$3" >> "$list" ;;
esac
SH
chmod +x bin/redis-cli
QUEUE=$WORK/k/queue DATA=$WORK/k SCRIPT=$WORK/k/measure-objects.lsp \
  "$ROOT/examples/cluster/kubernetes/worker.sh" > k.log 2>&1
expect "kubernetes worker: status" 0 "$?"
expect "kubernetes worker: queue emptied" "" "$(cat k/queue/images)"
expect "kubernetes worker: failed list" "images/broken.pgm" "$(cat k/queue/failed)"
(cd k && awk 'FNR > 1 || NR == 1' results/*.csv > objects.csv &&
  $REFERENCE check objects.csv images/img*.pgm) || failures=$((failures + 1))
finish
