// A copy of the page saved on this computer and opened from its file: the
// browser runs none of the page's modules then, so this classic script
// alone says why nothing can be converted, for the page and for every file
// picked or dropped. When the modules did run (opened from its web address,
// or in a browser that runs modules from files), the page does all this
// itself and this script, which runs after them, does nothing.
'use strict';

(() => {
  if (location.protocol !== 'file:' || document.documentElement.dataset.modules === 'run') return;
  const text = 'This page was opened from a file saved on this computer, and browsers do not ' +
               'let such a page start its converter. Open the page from its web address ' +
               'instead; once opened there, it also works without a network.';
  const trouble = document.getElementById('trouble');
  trouble.textContent = text;
  trouble.hidden = false;
  const results = document.getElementById('results');
  const empty = document.getElementById('empty');
  const make = (tag, className, content) => {
    const node = document.createElement(tag);
    node.className = className;
    if (content !== undefined) node.textContent = content;
    return node;
  };

  function refuse(files) {
    for (const file of files) {
      const node = make('li', 'file');
      node.dataset.name = file.name;
      node.dataset.state = 'failed';
      const lines = make('ul', 'messages');
      lines.append(make('li', 'error', text));
      node.append(make('h3', 'name', file.name), make('p', 'status'), lines);
      results.append(node);
      empty.hidden = true;
    }
  }

  for (const input of [document.getElementById('files'), document.getElementById('folder')]) {
    input.addEventListener('change', () => {
      refuse(input.files);
      input.value = '';
    });
  }
  for (const type of ['dragover', 'drop']) {
    window.addEventListener(type, (event) => event.preventDefault());
  }
  document.getElementById('drop').addEventListener('drop', (event) => {
    refuse(event.dataTransfer.files);
  });
})();
