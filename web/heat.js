// The heat map: how often each position ran in a run's steps so far. The
// counting loop runs them again from the start, in parts, and the page has
// its turn before each (progress answers false to cancel: null then).

const PART = 20e6; // steps counted between two turns of the page

export async function heatOf(run, interpreter, progress) {
  const here = run.steps;
  interpreter.clearHeat();
  run.travel(0);
  let going = true;
  for (let done = 0, at = run.position; done < here && at >= 0; ) {
    going = (await progress(done / here)) !== false;
    if (!going) break;
    const counted = run.replay(() => interpreter.count(at, Math.min(PART, here - done)));
    done += counted.taken;
    at = counted.at;
  }
  const counts = going ? Uint32Array.from(interpreter.heat()) : null;
  run.travel(here);
  return counts;
}
