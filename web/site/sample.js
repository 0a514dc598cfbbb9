// The example tune, for a first visit with no file of one's own: a short
// song the build makes (examples/tune.txt, packed as a container), fetched
// from the page's own folder and added to the list like a file picked.

import {addFiles} from './rows.js';

const NAME = 'example-tune.mthc';
const sample = document.getElementById('sample');

sample.addEventListener('click', async () => {
  sample.disabled = true;
  try {
    const response = await fetch(new URL('tune.mthc', import.meta.url));
    if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
    const file = new File([await response.blob()], NAME, {type: 'application/octet-stream'});
    addFiles([{file, folder: ''}]);
  } catch (error) {
    const trouble = document.getElementById('trouble');
    trouble.textContent = 'The example tune could not be loaded (' + (error.message || error) +
                          '). Reload the page to try again.';
    trouble.hidden = false;
  } finally {
    sample.disabled = false;
  }
});
