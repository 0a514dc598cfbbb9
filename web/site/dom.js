// The few kinds of element the page makes.

export function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

export function button(className, text, label) {
  const node = element('button', className, text);
  node.type = 'button';
  if (label) node.setAttribute('aria-label', label);
  return node;
}

// Lines of [className, text]: warnings and errors.
export function messageList(items) {
  const lines = element('ul', 'messages');
  for (const [className, text] of items) lines.append(element('li', className, text));
  return lines;
}
